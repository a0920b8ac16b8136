// Replays inputs through a fuzz target without the fuzzer: each argument is a
// file or a folder of files. So the corpora run as ordinary tests with any
// compiler.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/fuzz_target.h"

static int replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return 1;
}

int main(int argc, char** argv) {
  int inputs = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path = argv[i];
    if (std::filesystem::is_directory(path)) {
      for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (entry.is_regular_file()) inputs += replay(entry.path());
      }
    } else {
      inputs += replay(path);
    }
  }
  std::printf("%d passed, 0 failed\n", inputs);
  return inputs > 0 ? 0 : 1;
}
