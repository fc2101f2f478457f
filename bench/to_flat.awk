# to_flat.awk: the awk peer of the converter, for the benchmark.
#
#   mawk -f bench/to_flat.awk SRC > DST
#
# Reads a dataset file in the bracketed format and writes the flat format: each row's
# inputs and expected outputs, every value as printf "%.9g" followed by one blank, a
# newline after each row. Rows may be split over lines or share a line; blanks, tabs,
# carriage returns and commas separate values. Like the bare loop it checks nothing
# and handles only plain numeric data blocks: no comments inside the data block, no
# label lists, no generated outputs or errors.

BEGIN {
  FS = "[ \t\r,]+"
  in_data = 0
  width = 0
  column = 0
}

# Header: pick up the widths from fields such as "[Inputs = 10]".
!in_data {
  line = $0
  gsub(/[ \t\r]/, "", line)
  if (line ~ /^\[[Ii][Nn][Pp][Uu][Tt][Ss]=/) {
    sub(/^[^=]*=/, "", line); sub(/\].*$/, "", line); width += line + 0
  } else if (line ~ /^\[[Ee][Xx][Pp][Ee][Cc][Tt][Ee][Dd][Oo][Uu][Tt][Pp][Uu][Tt][Ss]=/) {
    sub(/^[^=]*=/, "", line); sub(/\].*$/, "", line); width += line + 0
  } else if (line ~ /^\[[Dd][Aa][Tt][Aa]\]/) {
    in_data = 1
  }
  next
}

# The end tag of the data block ends the work.
/\[~/ { exit }

{
  for (i = 1; i <= NF; i++) {
    if ($i == "") continue
    printf "%.9g ", $i
    if (++column == width) {
      printf "\n"
      column = 0
    }
  }
}
