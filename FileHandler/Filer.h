// Dataset files in the bracketed text format: a [DataSet] block holding a
// header of fields and a [Data] block with the rows.
//
// A row holds up to four vectors of numbers: inputs, expected outputs,
// generated outputs and errors; either output vector may be replaced per row
// by a label list such as [a b=0.5]. The first table takes inputs and
// expected outputs, the second generated outputs and errors.
#ifndef MBRK_FILEHANDLER_FILER_H
#define MBRK_FILEHANDLER_FILER_H

#include <cstdint>
#include <istream>
#include <ostream>

#include "ParseTools.h"

namespace mbrk {

class Data;
class TLabelList;

/// Results of the dataset-file operations.
constexpr std::int32_t SUCCESS = 0;
constexpr std::int32_t FILE_OPEN_ERROR = -81;     // the file could not be opened
constexpr std::int32_t UNEXPECTED_CONTENT = -82;  // a header field out of place; or a second table
constexpr std::int32_t BAD_TABLES = -83;          // writer: no table, or row counts differ

/// Reads the whole dataset file `filename` into up to two new tables.
/// Returns FILE_OPEN_ERROR (tables untouched) when the file cannot be opened,
/// else SUCCESS. A malformed file throws FileTools::Error; the tables created
/// so far are left, partly filled, in the two places. The caller owns the
/// tables in every case. Tables that would be large are refused first, with
/// "Unexpected end of file", when the rest of the file cannot hold their
/// values. A file without byte positions (a pipe, "/dev/stdin") is read ahead
/// as far as that check needs, and so is refused or read exactly as a file
/// of the same bytes, in memory that follows what it delivers.
std::int32_t ReadDatFile(FileTools& tools, const char* filename, Data*& PtrDatFileData1,
                         Data*& PtrDatFileData2);

/// Reads `filename` and hands back its first table (null when the file holds
/// none). A second table is destroyed and reported as UNEXPECTED_CONTENT.
/// Otherwise returns what ReadDatFile returned. When an exception leaves it,
/// the second table is destroyed and the first, partly filled, is left in
/// `PtrDatFileData` for the caller to delete, as ReadDatFile leaves it.
std::int32_t LoadDatFile(FileTools& tools, const char* filename, Data*& PtrDatFileData);

/// Reads the header fields that follow the dataset block's start tag. Widths
/// default to 0 and the row count to -1 (no Rows field); an output width of
/// -1 means label lists. Leaves the first element after the header in
/// `element` (its texts owned by the caller). Returns UNEXPECTED_CONTENT when
/// it stopped at a field that is unknown, repeated, out of order or not
/// closed (that field is the element left), else SUCCESS.
std::int32_t ReadDatFileHeader(FileTools& tools, std::istream& in, std::int32_t& inputs,
                               std::int32_t& expected_outputs, std::int32_t& generated_outputs,
                               std::int32_t& errors, std::int32_t& rows, TElement& element);

/// Reads one row's label list, "[" name or name=value items "]", into a new
/// list owned by the caller. A name without a value counts 1.0; a repeated
/// name adds up.
TLabelList* ReadLabelList(FileTools& tools, std::istream& in);

// ---- Windows of rows -------------------------------------------------------------
//
// A window is `count` consecutive rows starting `offset` bytes into the data
// block, counted from the character right after the "]" of the data block's
// start tag; offset 0 is the first row. The offset is in-out: the caller
// passes the start of the window and gets back the start of the next one,
// just past the last row read, so windows chained by the returned offset
// read the rows of the whole file in turn. Reaching the offset is one seek,
// whatever the number of rows before it. Offsets are byte positions and only
// meaningful when they come from an earlier call (or are 0): one that does
// not fall on a row boundary is not detected and makes values land in the
// wrong vectors or fail a number check.
//
// The tables are those ReadDatFile makes of the header, with `count` rows of
// capacity; row i of the window is row i of each table. Neither end tag is
// read and `count` is not compared with the header's Rows.

/// Reads the window into up to two new tables. `count` is read once.
/// Returns FILE_OPEN_ERROR (offset and tables untouched) when the file cannot
/// be opened, else SUCCESS with the next window's offset in `offset`.
/// Throws FileTools::Error for a malformed file, as ReadDatFile does, and for:
///   "Invalid window count"    `count` is negative;
///   "Invalid window offset"   `offset` is negative;
///   "Unexpected end of file"  `offset` lies past the end of the file, or the
///                             tables would be large and the rest of the file
///                             cannot hold their values;
///   "Token (number) expected" the window runs past the last row; for rows of
///                             label lists only, "Unexpected End Tag";
///   "Unable to seek in file"  the file has no byte positions (e.g. a pipe):
///                             refused before its header is read.
/// When it throws, `offset` is unchanged and the tables created so far stay,
/// holding the rows read before the failure; the caller owns the tables in
/// every case.
std::int32_t ReadDatFileWindow(FileTools& tools, const char* filename, std::int64_t& offset,
                               std::int32_t count, Data*& PtrDatFileData1, Data*& PtrDatFileData2);

/// The same with a 32-bit offset, for windows in the first 2 GiB of the data
/// block. A next offset that does not fit 32 bits throws "Window offset does
/// not fit in 32 bits" (after the rows were read into the tables) instead of
/// coming back cut or wrapped; the 64-bit form reads on from there.
std::int32_t ReadDatFileWindow(FileTools& tools, const char* filename, std::int32_t& offset,
                               std::int32_t count, Data*& PtrDatFileData1, Data*& PtrDatFileData2);

/// ReadDatFileWindow handing back only the first table: a second one is
/// destroyed, also when an exception leaves, and does not change the result.
std::int32_t LoadDatFileWindow(FileTools& tools, const char* filename, std::int64_t& offset,
                               std::int32_t count, Data*& PtrDatFileData);
std::int32_t LoadDatFileWindow(FileTools& tools, const char* filename, std::int32_t& offset,
                               std::int32_t count, Data*& PtrDatFileData);

// ---- Header probe -----------------------------------------------------------

class TKQstructure;

/// Identifies the file `filename` by its first block and answers with a new
/// structure owned by the caller:
///   cannot be opened (a folder included)  (error :type file-read-error)
///   [DataSet], header SUCCESS             (data :rows R :inputs I
///                                          :actual-outputs E :calc-outputs G
///                                          :errors X)
///   [DataSet], header UNEXPECTED_CONTENT  (error :type bad-header)
///   [Network]                             the atom network
///   any other start tag                   (error :type unknown-header
///                                          :header NAME)
/// Block names are matched ignoring case; NAME is spelled as in the file. The
/// data answer holds the header values as written: R is -1 without a Rows
/// field, E and G are -1 for Labels. Only the first start tag and a dataset's
/// header are read. A file not beginning with a start tag (an empty one
/// included) throws FileTools::Error "start of block expected"; the header's
/// own errors ("No labels in inputs", "integer-expected", ...) are thrown as
/// ReadDatFileHeader throws them. Nothing is left allocated but the answer.
TKQstructure* ProbeFileHeader(FileTools& tools, const char* filename);

// ---- Writing dataset files ----------------------------------------------------
//
// A file is written in three passes, each opening it anew: the header
// (creating or truncating the file), the rows and the tail (both appending).
// Every pass checks its stream, closing included, and reports a file that
// could not be created, opened or written as FILE_OPEN_ERROR; the passes after
// a failed one are not made. A failed pass leaves what it wrote in the file.
//
// What is written reads back through ReadDatFile into tables of the same
// shape: row values agree to 15 significant digits (non-finite ones are
// written "inf", "-inf", "nan", "-nan" and read back as such), label values to
// the 9 decimals they are written with. These are the format's texts, which
// stored files and their readers rely on, and they stay so; WriteDataset
// (Dataset/Dataset.h) writes values that read back to the same bits. A table of width 0 and 0
// without label lists holds nothing the format records, and reads back as no table.

/// Writes one or two tables as the dataset file `filename`: the first table
/// as inputs and expected outputs (or its label lists), the second as
/// generated outputs (or its label lists) and errors. Either may be null.
/// Every slot of the ring is written, in slot order, so `Rows` is the
/// capacity. Returns BAD_TABLES, writing nothing, when there is no table, when
/// the two capacities differ, or when a label name is not a word of the
/// format (empty, null, or holding a separator or one of "[]/*=<>"); returns
/// FILE_OPEN_ERROR when a pass fails, else SUCCESS.
///
/// A table with label lists must have no vector in their place (outputs 0 on
/// the first table, inputs 0 on the second): passing one is a bug in the
/// caller and fails an assertion. Tables made by the readers always qualify.
std::int32_t SaveDatFile(FileTools& tools, const char* filename, const Data* PtrDatFileData1,
                         const Data* PtrDatFileData2);

/// Creates or truncates `filename` and writes "[FormatVersion = 1.0]", an
/// empty line, [DataSet], the five fields [Rows = ..], [Inputs = ..],
/// [ExpectedOutputs = ..], [GeneratedOutputs = ..], [Error = ..] (an output
/// width of -1 as "Labels"), an empty line and [Data], one per line. Returns
/// BAD_TABLES, creating nothing, when `rows`, `inputs` or `errors` is negative
/// or an output width is below -1 (the reader would refuse or reinterpret
/// them); FILE_OPEN_ERROR when the file cannot be created or written; else
/// SUCCESS.
std::int32_t WriteDatFileHeader(FileTools& tools, const char* filename, std::int32_t inputs,
                                std::int32_t expected_outputs, std::int32_t generated_outputs,
                                std::int32_t errors, std::int32_t rows);

/// Appends one line per slot of the tables, checked as SaveDatFile checks
/// them (BAD_TABLES, nothing written). A line holds the first table's inputs,
/// two blanks and its expected outputs, then two blanks, the second table's
/// generated outputs, two blanks and its errors (each value as "%.15g" writes
/// it, followed by one blank), with each label list (WriteLabelList) in the
/// place of the vector it replaces, unless values would follow it: such a
/// list moves to the end of the line, the first table's before the second's,
/// since the reader takes every row's values before its label lists.
std::int32_t WriteDatFileRows(FileTools& tools, const char* filename, const Data* PtrDatFileData1,
                              const Data* PtrDatFileData2);

/// Appends [~Data], an empty line and [~DataSet]. FILE_OPEN_ERROR when the
/// file cannot be opened or written, else SUCCESS.
std::int32_t WriteDatFileTail(FileTools& tools, const char* filename);

/// Writes `list` as "[", then per label its name and a blank when the value
/// is exactly 1.0, else name "=" the value as "%.*f" writes it at precision 9
/// and a blank, then "] ". A null or empty list is "[] ". Names are written
/// as they are.
void WriteLabelList(FileTools& tools, std::ostream& out, const TLabelList* list);

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_FILER_H
