// A user's program: loads a dataset, reads values, writes a flat file and checks
// what it got, using only the installed headers and library.
//
//   consumer SOURCE.mbrk SCRATCH_FOLDER
//
// SOURCE is the toolkit's samples/sensors.mbrk. Prints "consumer: ok" and exits
// 0 when everything matched; otherwise names the first mismatch and exits 1.
#include <mbrk/DataObject/Data.h>
#include <mbrk/DataObject/Exceptions.h>
#include <mbrk/FileHandler/Filer.h>
#include <mbrk/FileHandler/FlatFiler.h>
#include <mbrk/KQmessage/KQML.h>

#include <cstdint>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

namespace {

int failures = 0;

template <typename T>
void Expect(const char* what, const T& expected, const T& actual) {
  if (expected == actual) return;
  std::cerr << "consumer: " << what << ": expected [" << expected << "], got [" << actual << "]\n";
  ++failures;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The message of the FileTools::Error that loading `path` throws, or "".
std::string LoadError(mbrk::FileTools& tools, const std::string& path) {
  mbrk::Data* table = nullptr;
  try {
    mbrk::LoadDatFile(tools, path.c_str(), table);
  } catch (mbrk::FileTools::Error& error) {
    std::unique_ptr<char[]> message(error.MbrStrMessage);  // the catcher owns it
    return message.get();
  }
  delete table;
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: consumer SOURCE.mbrk SCRATCH_FOLDER\n";
    return 2;
  }
  const std::string source = argv[1];
  const std::string scratch = argv[2];

  mbrk::FileTools tools;
  mbrk::Data* raw = nullptr;
  const std::int32_t result = mbrk::LoadDatFile(tools, source.c_str(), raw);
  std::unique_ptr<mbrk::Data> table(raw);
  Expect("load result", mbrk::SUCCESS, result);
  if (!table) {
    std::cerr << "consumer: no table loaded from " << source << "\n";
    return 1;
  }
  Expect("rows", 12, table->MbrNdxDataRows);
  Expect("inputs", 4, table->MbrLngInputs);
  Expect("outputs", 2, table->MbrLngOutputs);

  double value = 0.0;
  table->GetInputDatum(0, 0, &value);
  Expect("first temperature", 18.25, value);
  table->GetOutputDatum(11, 1, &value);
  Expect("last irrigation", 1.25, value);

  // A bad call is reported with the toolkit's exception, across the library boundary.
  try {
    table->GetInputDatum(0, 4, &value);
    Expect("exception for column 4", std::string("thrown"), std::string("none"));
  } catch (mbrk::TException& error) {
    Expect("exception category", std::string("Bad Parameter"), std::string(error.MbrStrCategory));
  }

  const std::string flat = scratch + "/sensors.flat";
  mbrk::TFlatFiler::SaveData(flat.c_str(), table.get());
  const std::string written = ReadAll(flat);
  const std::string first = "18.25 71.5 0.8 0.412 0 1.5 \n18.9 70.25 2.35 0.409 0 1.5 \n";
  const std::string last = "23.2 57.75 15.6 0.348 0.35 1.25 \n";
  Expect("flat file starts", first, written.substr(0, first.size()));
  Expect("flat file ends", last,
         written.size() >= last.size() ? written.substr(written.size() - last.size()) : written);
  Expect("flat file size", std::string::size_type{375}, written.size());

  const std::string broken = scratch + "/broken.mbrk";
  std::ofstream(broken) << "[DataSet]\n[Rows = many]\n";
  Expect("format error", std::string("integer-expected"), LoadError(tools, broken));

  mbrk::TKQstructure reply("tell");
  reply.SetIntegerParameter("rows", table->MbrNdxDataRows);
  const mbrk::TKQstructure* rows = reply.FindParameter("ROWS");
  Expect("KQML parameter", std::string("12"), std::string(rows != nullptr ? rows->MbrStrWord : ""));

  if (failures != 0) return 1;
  std::cout << "consumer: ok\n";
  return 0;
}
