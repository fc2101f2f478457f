// The words of the bracketed dataset format: its tags, its header fields and
// the version it writes. Every reader and writer takes them from here. Names
// are matched without regard to case; the Key spellings are the ones the
// readers' messages show.
#ifndef MBRK_FILEHANDLER_INTERNAL_VOCABULARY_H
#define MBRK_FILEHANDLER_INTERNAL_VOCABULARY_H

namespace mbrk::vocabulary {

/// The dataset block, as written and as messages name it ("[DATASET] expected").
inline constexpr char kDataSetTag[] = "DataSet", kDataSetKey[] = "DATASET";
/// The data block, which holds the rows.
inline constexpr char kDataTag[] = "Data", kDataKey[] = "DATA";
/// The header of the other kind of file the prober recognises.
inline constexpr char kNetworkKey[] = "NETWORK";

/// The header fields, in the order they are written: the row count and the
/// widths of the four vectors of a row.
inline constexpr char kRowsField[] = "Rows", kInputsField[] = "Inputs";
inline constexpr char kExpectedOutputsField[] = "ExpectedOutputs",
                      kGeneratedOutputsField[] = "GeneratedOutputs", kErrorField[] = "Error";
/// The value of an outputs field whose rows carry label lists.
inline constexpr char kLabelsValue[] = "Labels";

/// The format version element: its name, and the element as written.
inline constexpr char kFormatVersionName[] = "FormatVersion",
                      kFormatVersionElement[] = "[FormatVersion = 1.0]";

}  // namespace mbrk::vocabulary

#endif  // MBRK_FILEHANDLER_INTERNAL_VOCABULARY_H
