// mbrkd2flat: converts a dataset in the bracketed text format into a flat
// file, one line per row holding the row's inputs and expected outputs.
//
// Exit status 0 after a conversion, 1 for a wrong argument count, a source
// that cannot be read or breaks the format, a dataset without inputs or
// expected outputs, a lack of memory, and a destination that cannot be
// written. Every message goes to standard error, one line each.

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

int Convert(const char* source, const char* destination) {
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
