// mbrkd2flat: converts a dataset in the bracketed text format into a flat
// file, one line per row holding the row's inputs and expected outputs.
#include "command/mbrkd2flat.h"

#include <sys/stat.h>

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <memory>
#include <new>
#include <ostream>

#include "DataObject/Data.h"
#include "DataObject/Exceptions.h"
#include "FileHandler/Filer.h"
#include "FileHandler/FlatFiler.h"
#include "FileHandler/ParseTools.h"

namespace mbrk {

namespace {

// Writes each text as a line of its own (an absent one as an empty line).
// Every line goes out at once, so that it is not lost when the process ends
// abnormally.
void Say(std::ostream& err, std::initializer_list<const char*> lines) {
  for (const char* line : lines) err << (line != nullptr ? line : "") << std::endl;
}

// The identity of a file as the system knows it, links followed.
struct FileIdentity {
  bool known = false;
  dev_t device = 0;
  ino_t inode = 0;
};

// Known only for a file that keeps what is written to it: a terminal or a
// pipe named twice is read to its end before it is written, and loses
// nothing.
FileIdentity IdentityOf(const char* path) {
  struct stat status;
  if (::stat(path, &status) != 0) return {};
  if (!S_ISREG(status.st_mode) && !S_ISBLK(status.st_mode)) return {};
  return {true, status.st_dev, status.st_ino};
}

// Whether `destination` is the file `source` under any name or link, said on
// `err`: writing it would destroy the dataset being converted.
bool RefuseSource(const FileIdentity& source, const char* destination, std::ostream& err) {
  const FileIdentity other = IdentityOf(destination);
  if (!source.known || !other.known || source.device != other.device ||
      source.inode != other.inode) {
    return false;
  }
  Say(err, {"Source and destination are the same file"});
  return true;
}

int Convert(const char* source, const char* destination, std::ostream& err) {
  // Taken just before the reader opens the source, so that it is the file
  // read; a source that cannot be opened is reported by the reader.
  const FileIdentity source_file = IdentityOf(source);
  if (RefuseSource(source_file, destination, err)) return 1;
  FileTools tools;
  // The reader stores the first table here as soon as it creates it, so the
  // table is released on every way out, a failed read included.
  Data* loaded = nullptr;
  struct ReleaseTable {
    Data*& table;
    ~ReleaseTable() { delete table; }
  } release{loaded};

  if (LoadDatFile(tools, source, loaded) == FILE_OPEN_ERROR) {
    Say(err, {"Unable to open file for input"});
    return 1;
  }
  if (loaded == nullptr) {
    Say(err, {"No inputs or expected outputs to convert"});
    return 1;
  }
  // Again right before the destination is opened: it may have been created
  // or linked to the source while the source was read.
  if (RefuseSource(source_file, destination, err)) return 1;
  TFlatFiler::SaveData(destination, loaded);
  return 0;
}

}  // namespace

int RunConverter(int argc, const char* const* argv, std::ostream& err) {
  if (argc != 3) {
    Say(err, {"Usage: mbrkd2flat source_file.mbrk destination_file.mbrk"});
    return 1;
  }
  try {
    return Convert(argv[1], argv[2], err);
  } catch (FileTools::Error& error) {
    // The reader hands the message text over to whoever catches the error.
    const std::unique_ptr<char[]> message(error.MbrStrMessage);
    Say(err, {message.get()});
  } catch (TException& error) {
    // Saving failed, or the table rejected what the reader could not rule out.
    Say(err, {error.MbrStrMessage, error.MbrStrCategory, error.MbrStrLocation});
  } catch (const std::bad_alloc&) {
    Say(err, {"Not enough memory"});
  } catch (const std::exception& error) {
    Say(err, {error.what()});
  } catch (...) {
    Say(err, {"Internal error"});
  }
  return 1;
}

}  // namespace mbrk
