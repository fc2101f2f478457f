// Runs a fuzz target's LLVMFuzzerTestOneInput over files, without libFuzzer,
// so a corpus and the regression inputs can be replayed by any compiler and
// under any sanitizer: replay_<target> PATH... where each PATH is a file or
// a folder whose files (not hidden, sorted by name) are all replayed.
// A broken property aborts; otherwise prints how many inputs ran.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void Replay(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    std::exit(2);
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  // An input of no bytes is passed as libFuzzer passes it: a valid pointer.
  static const std::uint8_t kNothing = 0;
  LLVMFuzzerTestOneInput(
      bytes.empty() ? &kNothing : reinterpret_cast<const std::uint8_t*>(bytes.data()),
      bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path root(argv[i]);
    std::error_code error;
    if (!std::filesystem::is_directory(root, error)) {
      Replay(root);
      ++count;
      continue;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
      if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
        files.push_back(entry.path());
      }
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) Replay(file);
    std::printf("%s: %zu inputs\n", argv[i], files.size());
    count += files.size();
  }
  std::printf("replayed %zu inputs\n", count);
  return 0;
}
