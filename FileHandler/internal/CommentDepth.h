// The end of a comment, which may hold comments of its own, found byte by
// byte: shared by the token reader, which reads from a stream, and the row
// scan, which reads from memory. Internal: not installed.
#ifndef MBRK_FILEHANDLER_INTERNAL_COMMENTDEPTH_H
#define MBRK_FILEHANDLER_INTERNAL_COMMENTDEPTH_H

#include <cstdint>

namespace mbrk {

/// Follows a comment from just past its opening "/*". Counting the depth
/// instead of recursing keeps a million nested openings from exhausting the
/// stack. When a nested comment closes, the enclosing one continues with the
/// "*" of the nested opening as its previous character: a "/" right after the
/// nested "*/" closes the enclosing comment.
class CommentDepth {
 public:
  /// Takes the comment's next byte; true once it closes the outermost one.
  bool Closes(int c) {
    if (previous_ == '*' && c == '/') {
      if (--depth_ == 0) return true;
      previous_ = '*';
    } else if (previous_ == '/' && c == '*') {
      ++depth_;
      previous_ = ' ';
    } else {
      previous_ = c;
    }
    return false;
  }

 private:
  std::uint64_t depth_ = 1;  // comments open, this one included
  int previous_ = ' ';
};

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_COMMENTDEPTH_H
