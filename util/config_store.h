// Configuration store: opaque byte values under text keys, one small file
// per configuration name ("<dir>/<name>.cfg") in a configuration folder
// chosen once per process: the one given to cfg_set_dir, else the string
// value "config_dir" of the registry key "Software\AmberFoundry\vor" of
// HKEY_LOCAL_MACHINE, else "c:/vor". Folder and paths may be of any length.
//
// File: the magic "vOrCoNfIg!" and two zero bytes, then records to the end
// of the file: key length (2 bytes, signed, little-endian, counting the
// key's zero), the key with its zero, value length (4 bytes, signed,
// little-endian), the value. A file shorter than the magic, with another
// magic, or whose records do not fit exactly opens as an empty store.
//
// A store opened with "w" is written back in full when closed, through a
// temporary file created beside the target and renamed over it (see
// platform_temp_open): the old file stays intact until then, and an
// interrupted write never leaves a damaged one. A store file this process
// may not write (a read-only file, even in a folder it may write) is never
// replaced: the write session works in memory, as for a file that cannot be
// created. A store file that is a symbolic link is written through the link.
// Only regular files of at most platform_read_limit bytes are read; anything
// else (a pipe, a device, a larger file) opens as an empty store. Keys are
// compared ASCII case-insensitively. No function lets an exception out: when
// memory runs out they return their failure value.
//
// Also here: access to the registry (see util/platform/registry.h for where
// it lives on this system).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "util/platform/files.h"

namespace vormap {

struct cfg_entry {
  const char* key;       // zero-terminated; in file_image or a copy owned by the store
  const uint8_t* value;  // in file_image or a copy owned by the store
  int32_t value_len;
};

struct cfg {
  cfg_entry* entries = nullptr;  // growable array: file order, then additions
  std::vector<uint8_t> file_image;  // the file as read at open time, plus a zero byte
  bool write_mode = false;          // opened with "w"
  bool writing = false;             // opened with "w" and the file may be written
  std::string path;                 // the store's file
  std::vector<std::unique_ptr<uint8_t[]>> copies;  // keys and values made by cfg_set
};

// Opens the store `name`: mode "r..." to read, "w..." to read and write back
// at close. Returns null for any other mode, a null name, or when memory runs
// out. A missing, unreadable or damaged file gives an empty store; in write
// mode a file that cannot be created, or that exists and may not be written,
// leaves a store that works in memory and saves nothing.
cfg* cfg_open(const char* name, const char* mode);
// In write mode writes the whole store and replaces the file; then releases
// everything. Returns 1, or 0 when a write-mode store could not be saved.
int cfg_close(cfg* store);
// Copies min(value length, buffer_length) bytes of the value of `key`, and a
// zero byte after them when they are fewer than buffer_length. Returns 1
// when the key exists, else 0 (buffer untouched).
int cfg_get(const cfg* store, const char* key, void* buffer, int32_t buffer_length);
// cfg_get, then on success the buffer's last byte becomes zero.
int cfg_get_string(const cfg* store, const char* key, char* buffer, int32_t buffer_length);
// Sets `key` to a copy of `length` bytes; a new key is appended with a copy
// of its text, an existing one keeps its stored spelling. Returns 1, or 0
// (nothing changed) for a key over 32,766 characters or a negative length.
int cfg_set(cfg* store, const char* key, const void* value, int32_t length);
// cfg_set of the text with its terminating zero.
int cfg_set_string(cfg* store, const char* key, const char* text);
// Removes `key`, moving the last entry into its place. Returns 1 when the key
// existed, else 0.
int cfg_delete(cfg* store, const char* key);
// Sets the configuration folder; later cfg_open calls skip the registry. An
// empty text forgets it, so the next cfg_open asks the registry again.
void cfg_set_dir(const char* directory);

// Registry access. `mode_and_hive` is "r" (open an existing key for reading)
// or "w" (open or create it for writing) followed by the hive: "cu"/"hkcu"
// or "lm"/"hklm", any case. Returns null for anything else or on failure.
struct platform_reg_key;
using reg_key = platform_reg_key;
reg_key* reg_open(const char* mode_and_hive, const char* key_path);
// Releases a key; null is ignored.
void reg_close(reg_key* key);
// Reads a value of type REG_SZ, REG_BINARY or REG_DWORD into the buffer,
// with a zero byte after it when it is shorter than the buffer. Returns 1 on
// success; 0 for another type, a missing value, or a value longer than the
// buffer (buffer untouched).
int reg_read(const reg_key* key, const char* name, void* buffer, int32_t buffer_length);
// reg_read, then on success the buffer's last byte becomes zero.
int reg_read_string(const reg_key* key, const char* name, char* buffer, int32_t buffer_length);
// Write a REG_BINARY value, or a REG_SZ value with its terminating zero.
// Return 1 on success, 0 on failure or without a key.
int reg_write(reg_key* key, const char* name, const void* data, int32_t length);
int reg_write_string(reg_key* key, const char* name, const char* text);

}  // namespace vormap
