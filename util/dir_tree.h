// Directory-tree cache: lists every directory and file below a root and keeps
// the listing in a cache file, so that a later listing of the same root
// re-reads only the directories whose modification time has changed.
//
// Paths of any length are handled: every path buffer grows as needed, so a
// long root, cache folder or child path is neither cut nor rejected. Names
// are the bytes the file system gives (UTF-8). Symbolic links to directories
// are listed as files and never followed.
//
// Cache files are named after the root ignoring ASCII case, and a cache is
// accepted for a root that differs only in case; but directory paths are
// compared exactly, because on a case-sensitive file system "a/B" and "a/b"
// are two directories: a cached directory that does not lie below the root
// as spelled now is dropped and rescanned.
//
// The cache folder is the string value "dirtree" of the registry key
// "Software\AmberFoundry\vor" of HKEY_LOCAL_MACHINE (see
// util/platform/registry.h for where that lives), else "c:/vor"; the folder
// is not created. A cache file is replaced through a temporary file, so an
// interrupted save never leaves a damaged cache; a cache file this process
// may not write is left as it is (not saved, not reported), and one that is
// a symbolic link is written through the link (see platform_temp_open). A
// cache file that is damaged anyway (truncated, counts or indices that do not
// fit, a string over 4,096 bytes), or is not a regular file of at most
// platform_read_limit bytes (a pipe, a device), is treated as no cache: the
// tree is scanned in full and the cache written afresh. No function lets an
// exception out: when memory runs out they return their failure value.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vormap {

struct dir_tree_string_pool;

struct dir_tree_dir {
  const char* path;         // full path from the root with "/" separators; null when cleared
  int32_t last_write_time;  // seconds since the epoch; 0 for the root
  int32_t file_count;       // files entries pointing here
  uint32_t extra;           // 0 when added; free for the caller
};

struct dir_tree_file {
  const char* name;  // bare name
  int32_t dir_index;  // index into dirs
  int64_t size;       // bytes
  int32_t last_write_time;
  uint32_t extra;  // 0 when added; free for the caller
};

struct dir_tree {
  dir_tree_dir* dirs = nullptr;    // growable array
  dir_tree_file* files = nullptr;  // growable array
  dir_tree_string_pool* string_pool = nullptr;  // owns every path and name
};

// When non-zero: print "No cache file\n" when no cache file is used and "D"
// for every directory reached a second time during a scan.
extern int dir_tree_verbose;
// When non-zero: show progress on standard output, one mark at every
// progress point where (counter AND mask) is 0.
extern int dir_tree_progress_mask;

// The tree below `root`, using the cache folder from the registry (looked up
// on every call). Returns null only when memory runs out.
dir_tree* dir_tree_get(const char* root);
// The tree below `root`, cached in `cache_dir` (null or empty: no cache).
// Returns null only when memory runs out.
dir_tree* dir_tree_get_in(const char* root, const char* cache_dir);
// The tree below `root`, refreshed from and saved to `cache_file` (null: no
// cache file). Returns null only when memory runs out.
dir_tree* dir_tree_get_with_cache_file(const char* root, const char* cache_file);

// Empties the tree, then loads `cache_file` into it when its magic and root
// match `root` (after the trailing-separator rule). Returns 1 when loaded;
// 0 when the file is missing, belongs to another root, is damaged or cannot
// be read (the tree is then empty).
int dir_tree_load_cache(dir_tree* tree, const char* cache_file, const char* root);
// Saves the whole tree with an empty root. Returns 1 on success, 0 when the
// file cannot be written or a string is too long for the format (over
// 4,096 bytes); the previous file is then left as it was.
int dir_tree_save_cache(const dir_tree* tree, const char* cache_file);

// Append an entry (strings copied into the pool). Return the new index, or
// -1 when memory runs out. dir_tree_add_file raises the directory's
// file_count; a dir_index outside dirs is refused (-1).
int32_t dir_tree_add_dir(dir_tree* tree, const char* path, int32_t last_write_time);
int32_t dir_tree_add_file(dir_tree* tree, const char* name, int32_t dir_index, int64_t size,
                          int32_t last_write_time);

// Frees the pool and both arrays; the record stays, empty.
void dir_tree_free_contents(dir_tree* tree);
// Frees the contents and the record; null is ignored.
void dir_tree_free(dir_tree* tree);

// Removes one trailing "/" or "\" in place, except from a drive root of
// three characters such as "c:/", where a final "\" becomes "/".
void strip_trailing_separator(char* path);

// The cache file name for `root` in `cache_dir`: cache_dir, "/" unless it
// already ends in "/" or "\", then "dirtree_", the first 8 bytes of the SHA-1
// of the lower-cased root in lower-case hex, and ".bin". Writes at most
// `size` bytes including the zero; returns the full length (like snprintf),
// or -1 when the digest cannot be computed.
int dir_tree_cache_file_name(const char* root, const char* cache_dir, char* out, size_t size);

// Prefix varint: the count of leading one bits of the first byte is the
// number of bytes that follow, most significant first. Writes the shortest
// form (1 to 9 bytes) into out and returns its length.
size_t prefix_varint_encode(uint64_t value, uint8_t out[9]);
// Decodes one prefix varint from `size` bytes. Returns the bytes used, or 0
// when the data ends inside it.
size_t prefix_varint_decode(const uint8_t* data, size_t size, uint64_t* value);

}  // namespace vormap
