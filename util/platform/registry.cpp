#include "util/platform/registry.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "util/platform/files.h"

namespace vormap {

struct platform_reg_key {
  std::string folder;  // ends without "/"
};

namespace {

bool is_plain_name_byte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == '.';
}

// File name of a key part or value name (see the header).
std::string encode_name(std::string_view name) {
  if (name.empty()) return "@";
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (size_t k = 0; k < name.size(); ++k) {
    const auto c = static_cast<unsigned char>(name[k]);
    if (is_plain_name_byte(c) && !(k == 0 && c == '.')) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

bool equal_ascii_nocase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k) {
    unsigned char x = static_cast<unsigned char>(a[k]), y = static_cast<unsigned char>(b[k]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

// The entry of `folder` whose name matches `encoded` ignoring ASCII case
// (the encoding maps bytes one to one, so comparing encoded names ignoring
// case is comparing the names ignoring case); `encoded` itself when none.
std::string find_entry(const std::string& folder, const std::string& encoded, bool* found) {
  *found = false;
  DIR* d = opendir(folder.c_str());
  if (d == nullptr) return encoded;
  std::string result = encoded;
  while (const dirent* e = readdir(d)) {
    if (equal_ascii_nocase(e->d_name, encoded)) {
      result = e->d_name;
      *found = true;
      if (result == encoded) break;  // an exact match wins
    }
  }
  closedir(d);
  return result;
}

const char* hive_folder(reg_hive hive) {
  return hive == reg_hive::local_machine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

bool make_folder(const std::string& path) {
  if (mkdir(path.c_str(), 0777) == 0) return true;
  struct stat st;
  return errno == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates every missing folder of `path`.
bool make_folders(const std::string& path) {
  for (size_t k = 1; k <= path.size(); ++k) {
    if (k == path.size() || path[k] == '/') {
      if (!make_folder(path.substr(0, k))) return false;
    }
  }
  return true;
}

struct type_name {
  uint32_t type;
  const char* line;
};
constexpr type_name type_names[] = {
    {reg_type_sz, "REG_SZ"}, {reg_type_binary, "REG_BINARY"}, {reg_type_dword, "REG_DWORD"}};

}  // namespace

std::string platform_registry_root() {
  const char* root = std::getenv(registry_root_variable);
  if (root != nullptr && root[0] != '\0') return root;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/vormap/registry";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.config/vormap/registry";
  return std::string();
}

platform_reg_key* platform_reg_open(reg_hive hive, const char* path, bool create) {
  const std::string root = platform_registry_root();
  if (root.empty() || path == nullptr) return nullptr;
  std::string folder = root + "/" + hive_folder(hive);
  if (create && !make_folders(folder)) return nullptr;
  // Empty parts (doubled, leading or trailing "\") are skipped.
  const char* p = path;
  while (*p != '\0') {
    const char* end = std::strchr(p, '\\');
    if (end == nullptr) end = p + std::strlen(p);
    if (end > p) {
      bool found = false;
      const std::string part = find_entry(folder, encode_name(std::string_view(p, static_cast<size_t>(end - p))), &found);
      folder += "/" + part;
      if (!found) {
        if (!create || !make_folder(folder)) return nullptr;
      }
    }
    p = *end ? end + 1 : end;
  }
  struct stat st;
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
  return new platform_reg_key{folder};
}

void platform_reg_close(platform_reg_key* key) { delete key; }

bool platform_reg_query(const platform_reg_key* key, const char* name, uint32_t* type,
                        std::vector<uint8_t>* data) {
  if (key == nullptr || name == nullptr) return false;
  bool found = false;
  const std::string file = find_entry(key->folder, encode_name(name), &found);
  if (!found) return false;
  std::vector<uint8_t> raw;
  if (!platform_read_file((key->folder + "/" + file).c_str(), &raw)) return false;
  const auto newline = std::find(raw.begin(), raw.end(), uint8_t{'\n'});
  *type = reg_type_unknown;
  if (newline != raw.end()) {
    const std::string line(raw.begin(), newline);
    for (const type_name& t : type_names)
      if (line == t.line) *type = t.type;
    data->assign(newline + 1, raw.end());
  } else {
    data->clear();
  }
  return true;
}

bool platform_reg_set(platform_reg_key* key, const char* name, uint32_t type, const void* data,
                      size_t length) {
  if (key == nullptr || name == nullptr || (data == nullptr && length > 0)) return false;
  const char* line = nullptr;
  for (const type_name& t : type_names)
    if (t.type == type) line = t.line;
  if (line == nullptr) return false;
  bool found = false;
  const std::string file = key->folder + "/" + find_entry(key->folder, encode_name(name), &found);
  platform_temp_file temp;
  if (!platform_temp_open(file.c_str(), &temp)) return false;
  const std::string header = std::string(line) + "\n";
  if (!platform_temp_write(&temp, header.data(), header.size()) ||
      (length > 0 && !platform_temp_write(&temp, data, length))) {
    platform_temp_abandon(&temp);
    return false;
  }
  return platform_temp_commit(&temp);
}

bool platform_reg_read_text(reg_hive hive, const char* path, const char* name, std::string* text) {
  const std::unique_ptr<platform_reg_key> key(platform_reg_open(hive, path, false));
  if (key == nullptr) return false;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  const bool ok = platform_reg_query(key.get(), name, &type, &data) &&
                  (type == reg_type_sz || type == reg_type_binary || type == reg_type_dword);
  if (!ok) return false;
  const auto zero = std::find(data.begin(), data.end(), uint8_t{0});
  text->assign(data.begin(), zero);
  return true;
}

}  // namespace vormap
