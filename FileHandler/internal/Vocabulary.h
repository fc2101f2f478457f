// The words of the bracketed dataset format: its tags, its header fields and
// the version it writes. Every reader and writer takes them from here. Names
// are matched without regard to case; the Key spellings are the ones the
// readers' messages show.
#ifndef MBRK_FILEHANDLER_INTERNAL_VOCABULARY_H
#define MBRK_FILEHANDLER_INTERNAL_VOCABULARY_H

namespace mbrk::vocabulary {

// Tags, as written.
inline constexpr char kDataSetTag[] = "DataSet";
inline constexpr char kDataTag[] = "Data";
// Tags, as the readers' messages name them ("[DATASET] expected").
inline constexpr char kDataSetKey[] = "DATASET";
inline constexpr char kDataKey[] = "DATA";
/// The header of the other kind of file the prober recognises.
inline constexpr char kNetworkKey[] = "NETWORK";

// Header fields, in the order they are written.
inline constexpr char kRowsField[] = "Rows";
inline constexpr char kInputsField[] = "Inputs";
inline constexpr char kExpectedOutputsField[] = "ExpectedOutputs";
inline constexpr char kGeneratedOutputsField[] = "GeneratedOutputs";
inline constexpr char kErrorField[] = "Error";
/// The value of an outputs field whose rows carry label lists.
inline constexpr char kLabelsValue[] = "Labels";

/// The format version element: its name, and the element as written.
inline constexpr char kFormatVersionName[] = "FormatVersion";
inline constexpr char kFormatVersionElement[] = "[FormatVersion = 1.0]";

}  // namespace mbrk::vocabulary

#endif  // MBRK_FILEHANDLER_INTERNAL_VOCABULARY_H
