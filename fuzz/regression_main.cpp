// Replays a fuzz target over every file of its corpus folders, so the corpus
// doubles as a plain regression test in ordinary builds.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  int inputs = 0;
  for (int k = 1; k < argc; ++k) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    if (std::filesystem::is_directory(argv[k], ec)) {
      for (const auto& entry : std::filesystem::directory_iterator(argv[k]))
        if (entry.is_regular_file()) files.push_back(entry.path());
    } else {
      files.emplace_back(argv[k]);
    }
    for (const auto& file : files) {
      std::ifstream in(file, std::ios::binary);
      if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return 1;
      }
      const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), {});
      LLVMFuzzerTestOneInput(data.data(), data.size());
      ++inputs;
    }
  }
  if (inputs == 0) {
    std::fprintf(stderr, "no corpus inputs found\n");
    return 1;
  }
  std::printf("%d corpus inputs replayed\n", inputs);
  return 0;
}
