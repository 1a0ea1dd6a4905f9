// A registry of hives, keys and typed values kept in ordinary files, for
// systems that have no registry of their own.
//
// Layout: <root>/<hive>/<key>/<subkey>/.../<value>, where <root> is the
// folder named by the environment variable VORMAP_REGISTRY_ROOT, or by
// default $XDG_CONFIG_HOME/vormap/registry (with XDG_CONFIG_HOME defaulting
// to $HOME/.config). The hives are the folders HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE. A key path uses "\" between its parts, and each part is
// one folder; creating a key creates its folders. Key and value names are
// matched ASCII case-insensitively against what exists, as the original
// registry does; a new one keeps the spelling it was created with.
//
// Names are stored as file names with every byte outside A-Z a-z 0-9 _ - .
// written as %XX (and a leading "." as %2E); the empty value name is "@".
// A value file holds one line naming its type ("REG_SZ", "REG_BINARY" or
// "REG_DWORD"), then the raw data. To set the tree cache folder by hand:
//   cd "$ROOT/HKEY_LOCAL_MACHINE/Software/AmberFoundry/vor"
//   printf 'REG_SZ\n/home/me/.cache/vor' > dirtree
// Values are replaced atomically (temporary file and rename).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vormap {

enum class reg_hive { current_user, local_machine };

// Value types, numbered as the original registry numbers them.
inline constexpr uint32_t reg_type_sz = 1;
inline constexpr uint32_t reg_type_binary = 3;
inline constexpr uint32_t reg_type_dword = 4;
// Reported for a value file whose type line is missing or unknown.
inline constexpr uint32_t reg_type_unknown = 0xFFFFFFFFu;

inline constexpr const char* registry_root_variable = "VORMAP_REGISTRY_ROOT";

// The registry's root folder; empty when neither the variable nor a home
// folder is set.
std::string platform_registry_root();

struct platform_reg_key;

// Opens the key `path` of `hive`. With `create`, missing keys are created
// (with their folders); without, a missing key gives null. Null on failure.
platform_reg_key* platform_reg_open(reg_hive hive, const char* path, bool create);
// Releases a key handle; null is ignored.
void platform_reg_close(platform_reg_key* key);
// Reads value `name` of the key: its type and all its data. Returns false
// when the value does not exist or cannot be read.
bool platform_reg_query(const platform_reg_key* key, const char* name, uint32_t* type,
                        std::vector<uint8_t>* data);
// Writes value `name` with the given type and data, replacing any value of
// that name atomically. Returns false on failure.
bool platform_reg_set(platform_reg_key* key, const char* name, uint32_t type, const void* data,
                      size_t length);

// Reads a value of type REG_SZ, REG_BINARY or REG_DWORD of `path` in
// `hive` as text: its bytes up to the first zero byte. Returns false when the
// key or value is missing or of another type.
bool platform_reg_read_text(reg_hive hive, const char* path, const char* name, std::string* text);

}  // namespace vormap
