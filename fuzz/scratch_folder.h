// A private folder for fuzz targets that go through real files, created once
// per process and removed with its contents at exit.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace vormap {

// Memory-backed when possible: every input is written, saved (with a flush
// to disk) and read back, which a real disk slows to a crawl.
inline const std::string& fuzz_scratch_folder(const char* name) {
  static const std::string folder = [name] {
    const char* tmp = std::getenv("TMPDIR");
    const char* base = tmp != nullptr && tmp[0] != '\0' ? tmp : ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string path = std::string(base) + "/" + name + "-XXXXXX";
    if (::mkdtemp(path.data()) == nullptr) std::abort();
    return path;
  }();
  static const bool cleanup = [] {
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(folder, ec);
    });
    return true;
  }();
  (void)cleanup;
  return folder;
}

}  // namespace vormap
