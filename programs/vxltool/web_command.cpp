// vxltool web: the map maker's page, installed beside the programs
// (share/vormap/vormap.html), written where the user wants it or named.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "util/quoted_text.h"
#include "programs/vxltool/command_support.h"
#include "programs/vxltool/commands.h"
#include "util/platform/files.h"
#include "util/platform/output_file.h"

namespace vormap {

namespace {

// The installed page: found from the program's own place, so that any
// prefix works (make install PREFIX=..., the package's /usr).
std::filesystem::path installed_page() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return (self.parent_path() / VORMAP_PAGE_FROM_BINDIR).lexically_normal();
}

}  // namespace

int web_command(const std::vector<std::string>& args) {
  std::vector<std::string> files;
  bool options_end = false;
  for (const std::string& arg : args) {
    if (!options_end && arg == "--") options_end = true;
    else if (!options_end && arg.size() > 1 && arg[0] == '-') return usage_error("web", "unknown option " + quote_text(arg));
    else files.push_back(arg);
  }
  if (files.size() > 1) return usage_error("web", "too many arguments: at most one, the page to write");
  const std::filesystem::path page = installed_page();
  std::vector<uint8_t> bytes;
  if (page.empty() || !platform_read_file(page.c_str(), &bytes))
    return fail("web", 1, "the page is not installed (no " + quote_text(page.string(), 300) +
                              "): make install or the vormap package installs it, make web builds it");
  if (files.empty()) {
    std::printf("%s\n", page.c_str());
    return 0;
  }
  std::string error;
  if (!write_output_file(files[0], std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), error))
    return fail("web", 1, error);
  return 0;
}

}  // namespace vormap
