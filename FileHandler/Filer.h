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

#include "FileHandler/ParseTools.h"

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
/// tables in every case.
std::int32_t ReadDatFile(FileTools& tools, const char* filename, Data*& PtrDatFileData1,
                         Data*& PtrDatFileData2);

/// Reads `filename` and hands back its first table (null when the file holds
/// none). A second table is destroyed and reported as UNEXPECTED_CONTENT.
/// Otherwise returns what ReadDatFile returned. When FileTools::Error leaves
/// it, no table is handed back and nothing is leaked.
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
// the 9 decimals they are written with. A table of width 0 and 0 without
// label lists holds nothing the format records, and reads back as no table.

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
std::int32_t WriteDatFileRows(FileTools& tools, const char* filename,
                              const Data* PtrDatFileData1, const Data* PtrDatFileData2);

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
