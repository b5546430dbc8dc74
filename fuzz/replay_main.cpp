// Replays fuzz inputs without libFuzzer: every file given, or every file in a directory given.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {
int RunFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  return 1;
}
}  // namespace

int main(int argc, char** argv) {
  int runs = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path p(argv[i]);
    if (std::filesystem::is_directory(p)) {
      for (const auto& e : std::filesystem::recursive_directory_iterator(p)) {
        if (e.is_regular_file()) runs += RunFile(e.path());
      }
    } else if (std::filesystem::exists(p)) {
      runs += RunFile(p);
    }
  }
  // Edge inputs that every parser must survive, whatever the corpus holds.
  LLVMFuzzerTestOneInput(nullptr, 0);
  const uint8_t one = 0xFF;
  LLVMFuzzerTestOneInput(&one, 1);
  std::printf("replayed %d inputs\n", runs + 2);
  return 0;
}
