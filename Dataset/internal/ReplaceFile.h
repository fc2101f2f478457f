// Files written whole or not at all, and the identity of files under their
// many names. Internal: not installed.
#ifndef MBRK_DATASET_INTERNAL_REPLACEFILE_H
#define MBRK_DATASET_INTERNAL_REPLACEFILE_H

#include <cstddef>
#include <string>

namespace mbrk::files {

/// A file written under a temporary name in the destination's folder and
/// renamed over the destination only once it is complete, so that the
/// destination holds either its old content or the whole new one, never a
/// torn mixture: a failed write (a full disk), an exception on the way or
/// a process killed half-way leaves the old destination as it was.
///
/// The destination is what the name leads to: a symbolic link is followed
/// and the file it names is replaced (created where it does not exist yet).
/// A destination that exists and is not a regular file (a device such as
/// /dev/null, a pipe, a terminal) is written in place, as is a regular file
/// in a folder where no file can be created (the old content is then gone
/// before the new is complete, as with any plain write). A replaced file
/// keeps its permission bits; its other names (hard links) keep the old
/// content.
///
/// Data is not forced to the disk (no fsync): what is promised holds for
/// the process failing or being killed, not for the machine losing power.
class ReplacingFile {
 public:
  /// Creates the temporary file (or opens the destination in place). Throws
  /// std::system_error ("cannot create 'PATH'") with the system's code.
  explicit ReplacingFile(const std::string& destination);
  /// Without Commit(): closes and removes the temporary file.
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  /// Writes all `size` bytes. Throws std::system_error ("cannot write
  /// 'PATH'").
  void Write(const char* data, std::size_t size);
  /// Closes the file and renames it over the destination. Throws
  /// std::system_error ("cannot write 'PATH'") when the file could not be
  /// completed or renamed; the temporary file is then gone and the old
  /// destination as it was.
  void Commit();

  /// The temporary file's name; empty when writing in place.
  const std::string& TemporaryPath() const noexcept { return temporary_; }

 private:
  void Discard() noexcept;

  std::string path_;         // as given, for messages
  std::string destination_;  // where the file goes, links followed
  std::string temporary_;
  int descriptor_ = -1;
};

/// Whether `a` and `b` name the same existing file (under any name, through
/// links, "./" or hard links): the same device and inode. Only regular files
/// and block devices count, which keep what is written to them; a terminal
/// or a pipe named twice is not the same file here.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace mbrk::files

#endif  // MBRK_DATASET_INTERNAL_REPLACEFILE_H
