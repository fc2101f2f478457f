// mbrkd2flat: converts a dataset in the bracketed text format into a flat
// file, one line per row holding the row's inputs and expected outputs.
//
// Exit status 0 after a conversion, 1 for a wrong argument count, a source
// that cannot be read or breaks the format, a destination that is the source
// itself, a dataset without inputs or expected outputs, a lack of memory,
// and a destination that cannot be written. Every message goes to standard
// error, one line each.

#include <sys/stat.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <new>

#include "DataObject/Data.h"
#include "DataObject/Exceptions.h"
#include "FileHandler/Filer.h"
#include "FileHandler/FlatFiler.h"
#include "FileHandler/ParseTools.h"

namespace {

// Every line the command writes goes out at once, so that it is not lost
// when the process ends abnormally.
void Say(const char* text) { std::cerr << (text != nullptr ? text : "") << std::endl; }

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

// Whether `destination` is the file `source` under any name or link, said
// on standard error: writing it would destroy the dataset being converted.
bool RefuseSource(const FileIdentity& source, const char* destination) {
  const FileIdentity other = IdentityOf(destination);
  if (!source.known || !other.known || source.device != other.device ||
      source.inode != other.inode) {
    return false;
  }
  Say("Source and destination are the same file");
  return true;
}

int Convert(const char* source, const char* destination) {
  // Taken just before the reader opens the source, so that it is the file
  // read; a source that cannot be opened is reported by the reader.
  const FileIdentity source_file = IdentityOf(source);
  if (RefuseSource(source_file, destination)) return 1;
  mbrk::FileTools tools;
  // The reader stores the first table here as soon as it creates it, so the
  // table is released on every way out, a failed read included.
  mbrk::Data* loaded = nullptr;
  struct ReleaseTable {
    mbrk::Data*& table;
    ~ReleaseTable() { delete table; }
  } release{loaded};

  std::int32_t result = mbrk::SUCCESS;
  try {
    result = mbrk::LoadDatFile(tools, source, loaded);
  } catch (mbrk::FileTools::Error& error) {
    // The reader hands the message text over to whoever catches the error.
    std::unique_ptr<char[]> message(error.MbrStrMessage);
    Say(message.get());
    return 1;
  }
  if (result == mbrk::FILE_OPEN_ERROR) {
    Say("Unable to open file for input");
    return 1;
  }
  if (loaded == nullptr) {
    Say("No inputs or expected outputs to convert");
    return 1;
  }
  // Again right before the destination is opened: it may have been created
  // or linked to the source while the source was read.
  if (RefuseSource(source_file, destination)) return 1;
  try {
    mbrk::TFlatFiler::SaveData(destination, loaded);
  } catch (mbrk::TException& error) {
    Say(error.MbrStrMessage);
    Say(error.MbrStrCategory);
    Say(error.MbrStrLocation);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    Say("Usage: mbrkd2flat source_file.mbrk destination_file.mbrk");
    return 1;
  }
  try {
    return Convert(argv[1], argv[2]);
  } catch (const std::bad_alloc&) {
    Say("Not enough memory");
  } catch (mbrk::TException& error) {
    // The table rejects what the reader could not rule out: report it the way
    // a saving failure is reported.
    Say(error.MbrStrMessage);
    Say(error.MbrStrCategory);
    Say(error.MbrStrLocation);
  } catch (const std::exception& error) {
    Say(error.what());
  } catch (...) {
    Say("Internal error");
  }
  return 1;
}
