// The exception record of the data table and the flat filer.
//
// FileTools::Error (the bracketed-format readers) is nested in FileTools and
// TKQstructure::Error (the message module) in TKQstructure; both live with
// their classes.
#ifndef MBRK_DATAOBJECT_EXCEPTIONS_H
#define MBRK_DATAOBJECT_EXCEPTIONS_H

namespace mbrk {

class TKQstructure;

/// A failure that a caller of the table or the flat filer caused. Thrown by
/// value, caught by reference.
///
/// Every text member is a new[] array owned by the exception, or null. The
/// detail structure, when there is one, is owned as well. Copies are deep, so
/// any number of copies may live and each releases only what it owns.
class TException {
 public:
  /// All four members null.
  TException() noexcept = default;
  /// Copies of `message` and, when given, of `category`; no detail, no location.
  explicit TException(const char* message, const char* category = nullptr);
  /// Copies of the three texts; takes ownership of `detail`, which may be null.
  TException(const char* message, const char* category, const char* location, TKQstructure* detail);

  TException(const TException& other);
  TException& operator=(const TException& other);
  TException(TException&& other) noexcept;
  TException& operator=(TException&& other) noexcept;
  ~TException();

  char* MbrStrMessage = nullptr;
  char* MbrStrCategory = nullptr;
  TKQstructure* MbrPtrDetail = nullptr;
  char* MbrStrLocation = nullptr;

 private:
  void Release() noexcept;
  // The detail's copy and deletion need the complete message type, which
  // only the source includes.
  static TKQstructure* CopyDetail(const TKQstructure* detail);
  static void DeleteDetail(TKQstructure* detail) noexcept;
};

}  // namespace mbrk

#endif  // MBRK_DATAOBJECT_EXCEPTIONS_H
