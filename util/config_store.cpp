#include "util/config_store.h"

#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "util/growable_array.h"
#include "util/platform/registry.h"

namespace vormap {

namespace {

constexpr uint8_t cfg_magic[12] = {'v', 'O', 'r', 'C', 'o', 'N', 'f', 'I', 'g', '!', 0, 0};
constexpr const char* default_config_dir = "c:/vor";
constexpr const char* registry_key = "Software\\AmberFoundry\\vor";
constexpr size_t max_key_size = 32767;  // with the zero; the length field is 16 signed bits

// The configuration folder; empty until decided.
std::string config_dir;

char lower_ascii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool equal_nocase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b)
    if (lower_ascii(*a) != lower_ascii(*b)) return false;
  return *a == *b;
}

cfg_entry* find(const cfg* store, const char* key) {
  const int32_t n = array_count(store->entries);
  for (int32_t i = 0; i < n; ++i)
    if (equal_nocase(store->entries[i].key, key)) return &store->entries[i];
  return nullptr;
}

bool append(cfg* store, const cfg_entry& entry) {
  const int32_t n = array_count(store->entries);
  array_add(store->entries, 1);
  if (array_count(store->entries) != n + 1) return false;
  store->entries[n] = entry;
  return true;
}

// A copy owned by the store. Throws std::bad_alloc when memory runs out.
uint8_t* copy_of(cfg* store, const void* data, size_t length) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[length > 0 ? length : 1]);
  if (length > 0) std::memcpy(copy.get(), data, length);
  store->copies.push_back(std::move(copy));
  return store->copies.back().get();
}

// Loads the records of the file image; a record that runs past the end, or
// a key without its zero, makes the whole file count as damaged: empty.
void load_records(cfg* store) {
  const std::vector<uint8_t>& image = store->file_image;
  if (image.size() < 1 + sizeof cfg_magic) return;  // the image ends in an added zero
  const size_t end = image.size() - 1;
  if (std::memcmp(image.data(), cfg_magic, sizeof cfg_magic) != 0) return;
  size_t pos = sizeof cfg_magic;
  bool whole = true;
  while (whole && pos < end) {
    whole = false;
    if (end - pos < 2) break;
    const auto key_len = static_cast<int16_t>(image[pos] | image[pos + 1] << 8);
    pos += 2;
    if (key_len < 1 || static_cast<size_t>(key_len) > end - pos || image[pos + static_cast<size_t>(key_len) - 1] != 0)
      break;
    const auto* key = reinterpret_cast<const char*>(&image[pos]);
    pos += static_cast<size_t>(key_len);
    if (end - pos < 4) break;
    const auto value_len = static_cast<int32_t>(uint32_t{image[pos]} | uint32_t{image[pos + 1]} << 8 |
                                                uint32_t{image[pos + 2]} << 16 | uint32_t{image[pos + 3]} << 24);
    pos += 4;
    if (value_len < 0 || static_cast<size_t>(value_len) > end - pos) break;
    if (!append(store, {key, &image[pos], value_len})) break;
    pos += static_cast<size_t>(value_len);
    whole = true;
  }
  if (!whole) array_free(store->entries);
}

void put_le(std::vector<uint8_t>* out, uint32_t v, int bytes) {
  for (int k = 0; k < bytes; ++k) out->push_back(static_cast<uint8_t>(v >> (8 * k)));
}

}  // namespace

void cfg_set_dir(const char* directory) {
  try {
    config_dir = directory ? directory : "";
  } catch (const std::exception&) {
    // Out of memory: decided again at the next open.
    config_dir.clear();
  }
}

cfg* cfg_open(const char* name, const char* mode) {
  if (name == nullptr || mode == nullptr || (mode[0] != 'r' && mode[0] != 'w')) return nullptr;
  try {
    if (config_dir.empty()) {
      std::string dir;
      // An empty value would put the store at the file-system root: ignore it.
      if (platform_reg_read_text(reg_hive::local_machine, registry_key, "config_dir", &dir) && !dir.empty())
        config_dir = dir;
      else
        config_dir = default_config_dir;
    }
    auto store = std::make_unique<cfg>();
    store->path = config_dir + "/" + name + ".cfg";
    if (platform_read_file(store->path.c_str(), &store->file_image)) {
      store->file_image.push_back(0);
      load_records(store.get());
    }
    store->write_mode = mode[0] == 'w';
    // A file that may not be written is refused now, as opening it for
    // writing would be; the temporary file is made at close.
    if (store->write_mode) store->writing = platform_may_replace(store->path.c_str(), nullptr);
    return store.release();
  } catch (const std::exception&) {
    return nullptr;
  }
}

int cfg_close(cfg* store) {
  if (store == nullptr) return 0;
  int result = store->write_mode && !store->writing ? 0 : 1;
  if (store->writing) {
    try {
      std::vector<uint8_t> out(cfg_magic, cfg_magic + sizeof cfg_magic);
      const int32_t n = array_count(store->entries);
      for (int32_t i = 0; i < n; ++i) {
        const cfg_entry& e = store->entries[i];
        const size_t key_size = std::strlen(e.key) + 1;
        put_le(&out, static_cast<uint32_t>(key_size), 2);
        out.insert(out.end(), e.key, e.key + key_size);
        put_le(&out, static_cast<uint32_t>(e.value_len), 4);
        out.insert(out.end(), e.value, e.value + e.value_len);
      }
      result = platform_replace_file(store->path.c_str(), out.data(), out.size()) ? 1 : 0;
    } catch (const std::exception&) {
      result = 0;
    }
  }
  array_free(store->entries);
  delete store;
  return result;
}

int cfg_get(const cfg* store, const char* key, void* buffer, int32_t buffer_length) {
  if (store == nullptr || key == nullptr) return 0;
  const cfg_entry* e = find(store, key);
  if (e == nullptr) return 0;
  if (buffer_length <= 0) return 1;
  const int32_t n = e->value_len < buffer_length ? e->value_len : buffer_length;
  auto* out = static_cast<uint8_t*>(buffer);
  if (n > 0) std::memcpy(out, e->value, static_cast<size_t>(n));
  if (n < buffer_length) out[n] = 0;
  return 1;
}

int cfg_get_string(const cfg* store, const char* key, char* buffer, int32_t buffer_length) {
  if (!cfg_get(store, key, buffer, buffer_length)) return 0;
  if (buffer_length > 0) buffer[buffer_length - 1] = '\0';
  return 1;
}

int cfg_set(cfg* store, const char* key, const void* value, int32_t length) {
  if (store == nullptr || key == nullptr || length < 0 || (value == nullptr && length > 0)) return 0;
  const size_t key_size = std::strlen(key) + 1;
  if (key_size > max_key_size) return 0;
  try {
    cfg_entry* e = find(store, key);
    // Both copies first, so that running out of memory changes nothing.
    const char* key_copy = e ? nullptr : reinterpret_cast<const char*>(copy_of(store, key, key_size));
    const uint8_t* value_copy = copy_of(store, value, static_cast<size_t>(length));
    if (e == nullptr) {
      if (!append(store, {key_copy, value_copy, length})) return 0;
    } else {
      e->value = value_copy;
      e->value_len = length;
    }
    return 1;
  } catch (const std::exception&) {
    return 0;
  }
}

int cfg_set_string(cfg* store, const char* key, const char* text) {
  if (text == nullptr) return 0;
  const size_t size = std::strlen(text) + 1;
  if (size > INT32_MAX) return 0;
  return cfg_set(store, key, text, static_cast<int32_t>(size));
}

int cfg_delete(cfg* store, const char* key) {
  if (store == nullptr || key == nullptr) return 0;
  cfg_entry* e = find(store, key);
  if (e == nullptr) return 0;
  const int32_t last = array_count(store->entries) - 1;
  *e = store->entries[last];
  array_set_length(store->entries, last);
  return 1;
}

reg_key* reg_open(const char* mode_and_hive, const char* key_path) {
  if (mode_and_hive == nullptr || key_path == nullptr) return nullptr;
  const char mode = mode_and_hive[0];
  if (mode != 'r' && mode != 'w') return nullptr;
  const char* hive_name = mode_and_hive + 1;
  reg_hive hive;
  if (equal_nocase(hive_name, "cu") || equal_nocase(hive_name, "hkcu"))
    hive = reg_hive::current_user;
  else if (equal_nocase(hive_name, "lm") || equal_nocase(hive_name, "hklm"))
    hive = reg_hive::local_machine;
  else
    return nullptr;
  try {
    return platform_reg_open(hive, key_path, mode == 'w');
  } catch (const std::exception&) {
    return nullptr;
  }
}

void reg_close(reg_key* key) { platform_reg_close(key); }

int reg_read(const reg_key* key, const char* name, void* buffer, int32_t buffer_length) {
  uint32_t type = 0;
  std::vector<uint8_t> data;
  try {
    if (!platform_reg_query(key, name, &type, &data)) return 0;
  } catch (const std::exception&) {
    return 0;
  }
  if (type != reg_type_sz && type != reg_type_binary && type != reg_type_dword) return 0;
  const size_t room = buffer_length > 0 ? static_cast<size_t>(buffer_length) : 0;
  if (data.size() > room) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  if (!data.empty()) std::memcpy(out, data.data(), data.size());
  if (data.size() < room) out[data.size()] = 0;
  return 1;
}

int reg_read_string(const reg_key* key, const char* name, char* buffer, int32_t buffer_length) {
  if (!reg_read(key, name, buffer, buffer_length)) return 0;
  if (buffer_length > 0) buffer[buffer_length - 1] = '\0';
  return 1;
}

int reg_write(reg_key* key, const char* name, const void* data, int32_t length) {
  if (key == nullptr || length < 0) return 0;
  try {
    return platform_reg_set(key, name, reg_type_binary, data, static_cast<size_t>(length)) ? 1 : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

int reg_write_string(reg_key* key, const char* name, const char* text) {
  if (key == nullptr || text == nullptr) return 0;
  try {
    return platform_reg_set(key, name, reg_type_sz, text, std::strlen(text) + 1) ? 1 : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

}  // namespace vormap
