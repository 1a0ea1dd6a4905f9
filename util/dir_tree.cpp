#include "util/dir_tree.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "util/growable_array.h"
#include "util/platform/files.h"
#include "util/platform/registry.h"
#include "util/platform/sha1.h"

namespace vormap {

int dir_tree_verbose = 0;
int dir_tree_progress_mask = 0;

// Strings are carved from 64 KiB chunks; a longer string gets a chunk of its
// own. Everything is released at once.
struct dir_tree_string_pool {
  std::vector<std::unique_ptr<char[]>> chunks;
  char* next = nullptr;
  size_t left = 0;
};

namespace {

constexpr char cache_magic[12] = {'v', 'O', 'r', 'D', 'i', 'R', 't', 'R', 'e', 'E', '0', '2'};
constexpr size_t max_cached_string = 4096;
constexpr size_t pool_chunk = 65536;
constexpr const char* default_cache_dir = "c:/vor";
constexpr const char* registry_key = "Software\\AmberFoundry\\vor";

unsigned progress_counter = 0;

// Raises the progress counter; true when a mark is due.
bool progress_point() {
  ++progress_counter;
  return dir_tree_progress_mask != 0 && (progress_counter & static_cast<unsigned>(dir_tree_progress_mask)) == 0;
}

char lower_ascii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool equal_nocase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k)
    if (lower_ascii(a[k]) != lower_ascii(b[k])) return false;
  return true;
}

const char* pool_copy(dir_tree_string_pool* pool, const char* text, size_t length) {
  const size_t need = length + 1;
  if (need > pool->left) {
    const size_t size = need > pool_chunk / 4 ? need : pool_chunk;
    std::unique_ptr<char[]> fresh(new char[size]);
    pool->chunks.push_back(std::move(fresh));
    char* chunk = pool->chunks.back().get();
    if (size != pool_chunk) {
      // A large string takes its chunk alone; keep filling the current one.
      if (length > 0) std::memcpy(chunk, text, length);
      chunk[length] = '\0';
      return chunk;
    }
    pool->next = chunk;
    pool->left = size;
  }
  char* out = pool->next;
  if (length > 0) std::memcpy(out, text, length);
  out[length] = '\0';
  pool->next += need;
  pool->left -= need;
  return out;
}

void ensure_pool(dir_tree* tree) {
  if (tree->string_pool == nullptr) tree->string_pool = new dir_tree_string_pool;
}

std::string stripped_root(const char* root) {
  std::string copy = root ? root : "";
  strip_trailing_separator(copy.data());
  copy.resize(std::strlen(copy.c_str()));
  return copy;
}

// ---- cache file encoding ----

size_t ranged_width(uint32_t range) {
  if (range <= 256) return 1;
  if (range <= 65536) return 2;
  if (range <= 16777216) return 3;
  return 4;
}

struct writer {
  std::vector<uint8_t> out;
  bool ok = true;

  void bytes(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    out.insert(out.end(), p, p + n);
  }
  void u32(uint32_t v) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
  }
  void varint(uint64_t v) {
    uint8_t buf[9];
    bytes(buf, prefix_varint_encode(v, buf));
  }
  void ranged(uint32_t v, uint32_t range) {
    for (size_t k = ranged_width(range); k-- > 0;) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
  }
  void counted(const char* s) {
    const size_t n = std::strlen(s);
    // The reader refuses longer strings: never write a cache it would drop.
    if (n > max_cached_string) ok = false;
    varint(n);
    bytes(s, n);
  }
};

struct reader {
  const uint8_t* p;
  size_t left;

  bool bytes(size_t n, const uint8_t** out) {
    if (n > left) return false;
    *out = p;
    p += n;
    left -= n;
    return true;
  }
  bool u32(uint32_t* v) {
    const uint8_t* b;
    if (!bytes(4, &b)) return false;
    *v = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
    return true;
  }
  bool varint(uint64_t* v) {
    const size_t n = prefix_varint_decode(p, left, v);
    p += n;
    left -= n;
    return n != 0;
  }
  bool ranged(uint32_t range, uint32_t* v) {
    const uint8_t* b;
    const size_t width = ranged_width(range);
    if (!bytes(width, &b)) return false;
    *v = 0;
    for (size_t k = 0; k < width; ++k) *v = *v << 8 | b[k];
    return *v < range;
  }
  bool counted(const uint8_t** s, size_t* n) {
    uint64_t length;
    if (!varint(&length) || length > max_cached_string) return false;
    *n = static_cast<size_t>(length);
    return bytes(*n, s);
  }
};

enum class load_result { no_file, other_root, damaged, loaded };

// Loads the cache image for `root` (already stripped) into an empty tree.
load_result load_cache(dir_tree* tree, const char* cache_file, const std::string& root) {
  std::vector<uint8_t> image;
  if (!platform_read_file(cache_file, &image)) return load_result::no_file;
  ensure_pool(tree);
  reader in{image.data(), image.size()};
  const uint8_t* b;
  if (!in.bytes(sizeof cache_magic, &b) || std::memcmp(b, cache_magic, sizeof cache_magic) != 0)
    return load_result::other_root;
  if (!in.bytes(root.size() + 1, &b) ||
      !equal_nocase(std::string_view(reinterpret_cast<const char*>(b), root.size() + 1),
                    std::string_view(root.c_str(), root.size() + 1)))
    return load_result::other_root;

  auto damaged = [tree] {
    array_free(tree->dirs);
    array_free(tree->files);
    return load_result::damaged;
  };
  // Counts are checked against the bytes left (a directory record takes at
  // least 5 bytes, a file record at least 7) before anything is allocated.
  uint32_t n_dirs;
  if (!in.u32(&n_dirs) || n_dirs > in.left / 5) return damaged();
  array_set_length(tree->dirs, static_cast<int32_t>(n_dirs));
  if (array_count(tree->dirs) != static_cast<int32_t>(n_dirs)) return damaged();
  for (uint32_t i = 0; i < n_dirs; ++i) {
    uint32_t time;
    const uint8_t* s;
    size_t n;
    if (!in.u32(&time) || !in.counted(&s, &n)) return damaged();
    tree->dirs[i] = {pool_copy(tree->string_pool, reinterpret_cast<const char*>(s), n), static_cast<int32_t>(time), 0, 0};
  }
  uint32_t n_files;
  if (!in.u32(&n_files) || n_files > in.left / 7) return damaged();
  array_set_length(tree->files, static_cast<int32_t>(n_files));
  if (array_count(tree->files) != static_cast<int32_t>(n_files)) return damaged();
  for (uint32_t i = 0; i < n_files; ++i) {
    uint32_t dir, time;
    uint64_t twice_size;
    const uint8_t* s;
    size_t n;
    if (!in.ranged(n_dirs, &dir) || !in.varint(&twice_size) || !in.u32(&time) || !in.counted(&s, &n))
      return damaged();
    const auto size = static_cast<int64_t>((twice_size >> 1) ^ (0 - (twice_size & 1)));
    tree->files[i] = {pool_copy(tree->string_pool, reinterpret_cast<const char*>(s), n), static_cast<int32_t>(dir),
                      size, static_cast<int32_t>(time), 0};
    tree->dirs[dir].file_count++;
  }
  return load_result::loaded;
}

// Saves the tree, leaving out cleared directories and, with a root, the
// directory equal to it.
bool save_cache(const char* cache_file, const dir_tree* tree, const char* root) {
  writer w;
  w.bytes(cache_magic, sizeof cache_magic);
  const char* r = root ? root : "";
  w.bytes(r, std::strlen(r) + 1);

  const int32_t n_dirs = array_count(tree->dirs);
  std::vector<int32_t> number(static_cast<size_t>(n_dirs), -1);
  uint32_t saved_dirs = 0;
  for (int32_t i = 0; i < n_dirs; ++i) {
    const char* path = tree->dirs[i].path;
    if (path == nullptr || (root != nullptr && equal_nocase(path, root))) continue;
    number[static_cast<size_t>(i)] = static_cast<int32_t>(saved_dirs++);
  }
  w.u32(saved_dirs);
  for (int32_t i = 0; i < n_dirs; ++i) {
    if (number[static_cast<size_t>(i)] < 0) continue;
    w.u32(static_cast<uint32_t>(tree->dirs[i].last_write_time));
    w.counted(tree->dirs[i].path);
  }

  auto saved = [&](const dir_tree_file& f) {
    return f.name != nullptr && f.dir_index >= 0 && f.dir_index < n_dirs &&
           number[static_cast<size_t>(f.dir_index)] >= 0;
  };
  const int32_t n_files = array_count(tree->files);
  uint32_t saved_files = 0;
  for (int32_t i = 0; i < n_files; ++i) saved_files += saved(tree->files[i]) ? 1 : 0;
  w.u32(saved_files);
  for (int32_t i = 0; i < n_files; ++i) {
    const dir_tree_file& f = tree->files[i];
    if (!saved(f)) continue;
    w.ranged(static_cast<uint32_t>(number[static_cast<size_t>(f.dir_index)]), saved_dirs);
    w.varint(static_cast<uint64_t>(f.size) << 1 ^ static_cast<uint64_t>(f.size >> 63));
    w.u32(static_cast<uint32_t>(f.last_write_time));
    w.counted(f.name);
  }
  if (!w.ok) return false;
  return platform_replace_file(cache_file, w.out.data(), w.out.size());
}

// ---- listing ----

struct scan_state {
  dir_tree* tree;
  // Paths already in the new tree (views of its pool, which never moves a
  // string). Compared exactly: on a case-sensitive file system two names
  // differing only in case are two directories.
  std::unordered_set<std::string_view> seen;
};

int32_t add_dir_seen(scan_state* s, const char* path, int32_t time) {
  const int32_t k = dir_tree_add_dir(s->tree, path, time);
  if (k >= 0) s->seen.insert(s->tree->dirs[k].path);
  return k;
}

// Appends a directory whose path already lives in the tree's pool; the
// caller has put it in `seen`.
int32_t add_pooled_dir(scan_state* s, const char* path, int32_t time) {
  const int32_t k = array_count(s->tree->dirs);
  array_add(s->tree->dirs, 1);
  if (array_count(s->tree->dirs) != k + 1) return -1;
  s->tree->dirs[k] = {path, time, 0, 0};
  return k;
}

void add_pooled_file(dir_tree* tree, const dir_tree_file& f, int32_t dir_index) {
  const int32_t k = array_count(tree->files);
  array_add(tree->files, 1);
  if (array_count(tree->files) != k + 1) return;
  tree->files[k] = {f.name, dir_index, f.size, f.last_write_time, 0};
  tree->dirs[dir_index].file_count++;
}

void scan(scan_state* s, const std::string& path, int32_t time) {
  const bool ends_in_slash = !path.empty() && path.back() == '/';
  if (s->seen.count(path) != 0) {
    if (dir_tree_verbose) std::fputs("D", stdout);
    return;
  }
  const int32_t k = add_dir_seen(s, path.c_str(), time);
  if (k < 0) return;
  std::vector<platform_dir_entry> entries;
  if (!platform_list_dir(ends_in_slash ? path.c_str() : (path + "/").c_str(), &entries)) return;
  for (const platform_dir_entry& e : entries) {
    if (!e.status.is_dir) {
      dir_tree_add_file(s->tree, e.name.c_str(), k, e.status.size, e.status.last_write_time);
    } else if (e.name[0] != '.') {
      const std::string child = ends_in_slash ? path + e.name : path + "/" + e.name;
      if (progress_point()) std::printf("%s\r", child.c_str());
      scan(s, child, e.status.last_write_time);
    }
  }
}

// True when `path` is `root` itself or lies below it.
bool under_root(std::string_view path, const std::string& root) {
  if (path.size() < root.size() || path.compare(0, root.size(), root) != 0) return false;
  if (path.size() == root.size()) return true;
  return (!root.empty() && root.back() == '/') || path[root.size()] == '/';
}

// The length of the parent part of `path` (below `root`): the path up to its
// last "/"; 0 when the parent is the root itself.
size_t parent_length(std::string_view path, const std::string& root) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos || slash <= root.size() ? 0 : slash;
}

// Decides which cached directories are still reached without passing through
// a symbolic link: a directory counts only when its parent, up to the root,
// is a cached directory that still is one. The status of a path follows links
// in its leading components, so a folder replaced by a link to a folder would
// otherwise keep its cached subfolders, listed through the link. `is_dir[i]`
// says whether directory i itself still is one; on return it also says
// whether its parents are.
class parent_check {
 public:
  parent_check(const dir_tree* old, const std::string& root, std::vector<uint8_t>* is_dir)
      : old_(old), root_(root), ok_(*is_dir), state_(is_dir->size(), unknown) {}

  // Runs over the directories in order. A cache written by a scan lists each
  // directory right after its parent's earlier subfolders, so the parent is
  // nearly always on the stack of the current chain; others are looked up.
  void run() {
    std::vector<int32_t> chain;
    for (size_t i = 0; i < ok_.size(); ++i) {
      const char* path = old_->dirs[i].path;
      if (path == nullptr) {
        state_[i] = bad;
        continue;
      }
      if (state_[i] == unknown) {
        const std::string_view p(path);
        const size_t parent = p == root_ ? 0 : parent_length(p, root_);
        if (parent == 0) {
          state_[i] = ok_[i] ? good : bad;
        } else {
          while (!chain.empty() && !is_prefix(old_->dirs[chain.back()].path, p, parent)) chain.pop_back();
          const int32_t q = chain.empty() ? -1 : chain.back();
          if (q >= 0 && std::strlen(old_->dirs[q].path) == parent)
            state_[i] = ok_[i] && state_[static_cast<size_t>(q)] == good ? good : bad;
          else
            resolve(i);
        }
      }
      chain.push_back(static_cast<int32_t>(i));
    }
    for (size_t i = 0; i < ok_.size(); ++i) ok_[i] = state_[i] == good;
  }

 private:
  enum : uint8_t { unknown, good, bad };

  // True when `dir` is a proper ancestor of `path`, whose parent part is
  // `parent` bytes long.
  static bool is_prefix(const char* dir, std::string_view path, size_t parent) {
    const size_t n = std::strlen(dir);
    return n <= parent && path.compare(0, n, dir) == 0 && path[n] == '/';
  }

  // The state of directory i through a lookup of each parent by path.
  uint8_t resolve(size_t i) {
    std::vector<size_t> pending;
    size_t k = i;
    uint8_t result = bad;
    for (;;) {
      if (state_[k] != unknown) {
        result = state_[k];
        break;
      }
      const std::string_view p(old_->dirs[k].path);
      const size_t parent = p == root_ ? 0 : parent_length(p, root_);
      if (!ok_[k]) {
        state_[k] = result = bad;
        break;
      }
      if (parent == 0) {
        state_[k] = result = good;
        break;
      }
      const int32_t q = index_of(p.substr(0, parent));
      pending.push_back(k);
      if (q < 0) {
        result = bad;
        break;
      }
      k = static_cast<size_t>(q);
    }
    for (size_t j : pending) state_[j] = result;
    return state_[i];
  }

  int32_t index_of(std::string_view path) {
    if (index_.empty()) {
      index_.reserve(ok_.size());
      for (size_t i = 0; i < ok_.size(); ++i)
        if (old_->dirs[i].path != nullptr) index_.emplace(old_->dirs[i].path, static_cast<int32_t>(i));
    }
    const auto it = index_.find(path);
    return it == index_.end() ? -1 : it->second;
  }

  const dir_tree* old_;
  const std::string& root_;
  std::vector<uint8_t>& ok_;
  std::vector<uint8_t> state_;
  std::unordered_map<std::string_view, int32_t> index_;  // built on first need
};

// Carries the still-valid part of `old` into the new tree and rescans
// changed directories. The new tree has taken over the old tree's pool, so
// carried entries keep their strings. Returns whether anything changed.
bool refresh(dir_tree* old, scan_state* s, const std::string& root) {
  bool changed = false;
  const int32_t n_dirs = array_count(old->dirs);
  const auto n = static_cast<size_t>(n_dirs);
  // First the status of every directory, then which of them are reached
  // without a link, then the new tree in the cache's order.
  std::vector<uint8_t> is_dir(n, 0);
  std::vector<int32_t> time(n, 0);
  for (size_t i = 0; i < n; ++i) {
    const dir_tree_dir& d = old->dirs[i];
    if (progress_point()) std::fputs(".", stdout);
    platform_file_status st;
    // A directory cached for a root that matched only ignoring case lies
    // outside this root on a case-sensitive file system: drop it.
    if (d.path != nullptr && under_root(d.path, root) && platform_stat(d.path, &st) && st.is_dir) {
      is_dir[i] = 1;
      time[i] = st.last_write_time;
    }
  }
  parent_check(old, root, &is_dir).run();

  std::vector<int32_t> map(n, -1);
  std::vector<int32_t> rescan;
  for (size_t i = 0; i < n; ++i) {
    dir_tree_dir& d = old->dirs[i];
    // A directory listed twice in a damaged cache would list its files
    // twice: the first one counts.
    if (is_dir[i] && s->seen.insert(d.path).second) {
      const int64_t diff = int64_t{time[i]} - d.last_write_time;
      if (diff == 1 || diff == -1 || diff == 0 || diff == 3600 || diff == -3600) {
        map[i] = add_pooled_dir(s, d.path, d.last_write_time);
        continue;
      }
      // Rescanned below, which adds it again.
      s->seen.erase(d.path);
      rescan.push_back(static_cast<int32_t>(i));
      d.last_write_time = time[i];
    } else {
      d.path = nullptr;
    }
    changed = true;
  }
  const int32_t n_files = array_count(old->files);
  for (int32_t i = 0; i < n_files; ++i) {
    const dir_tree_file& f = old->files[i];
    if (f.dir_index < 0 || f.dir_index >= n_dirs) continue;
    const int32_t k = map[static_cast<size_t>(f.dir_index)];
    if (k >= 0) add_pooled_file(s->tree, f, k);
  }
  for (int32_t i : rescan) scan(s, old->dirs[i].path, old->dirs[i].last_write_time);
  return changed;
}

}  // namespace

// ---- public interface ----

size_t prefix_varint_encode(uint64_t value, uint8_t out[9]) {
  // n following bytes carry 7 + 7n bits (n <= 7); eight carry all 64.
  size_t n = 0;
  while (n < 8 && (n == 7 ? value >> 56 : value >> (7 + 7 * n)) != 0) ++n;
  const unsigned lead = n == 8 ? 0xFFu : ((0xFF00u >> n) & 0xFFu);
  out[0] = static_cast<uint8_t>(lead | (n >= 7 ? 0 : value >> (8 * n)));
  for (size_t k = 0; k < n; ++k) out[1 + k] = static_cast<uint8_t>(value >> (8 * (n - 1 - k)));
  return n + 1;
}

size_t prefix_varint_decode(const uint8_t* data, size_t size, uint64_t* value) {
  if (size == 0) return 0;
  size_t n = 0;
  while (n < 8 && (data[0] & (0x80u >> n)) != 0) ++n;
  if (size < n + 1) return 0;
  uint64_t v = data[0] & (0x7Fu >> n);
  for (size_t k = 1; k <= n; ++k) v = v << 8 | data[k];
  *value = v;
  return n + 1;
}

void strip_trailing_separator(char* path) {
  const size_t n = std::strlen(path);
  if (n == 0) return;
  const char last = path[n - 1];
  if (last != '/' && last != '\\') return;
  if (n == 3 && path[1] == ':') {
    path[2] = '/';
    return;
  }
  path[n - 1] = '\0';
}

namespace {

int cache_file_name(const char* root, const char* cache_dir, char* out, size_t size) {
  std::string lower = root ? root : "";
  for (char& c : lower) c = lower_ascii(c);
  std::array<uint8_t, 20> digest;
  if (!sha1_digest(lower.data(), lower.size(), &digest)) return -1;
  std::string name = cache_dir ? cache_dir : "";
  if (name.empty() || (name.back() != '/' && name.back() != '\\')) name += '/';
  name += "dirtree_";
  static const char hex[] = "0123456789abcdef";
  for (int k = 0; k < 8; ++k) {
    name += hex[digest[static_cast<size_t>(k)] >> 4];
    name += hex[digest[static_cast<size_t>(k)] & 15];
  }
  name += ".bin";
  if (size > 0) {
    const size_t n = name.size() < size ? name.size() : size - 1;
    std::memcpy(out, name.data(), n);
    out[n] = '\0';
  }
  return static_cast<int>(name.size());
}

}  // namespace

int dir_tree_cache_file_name(const char* root, const char* cache_dir, char* out, size_t size) {
  try {
    return cache_file_name(root, cache_dir, out, size);
  } catch (const std::exception&) {
    return -1;
  }
}

int32_t dir_tree_add_dir(dir_tree* tree, const char* path, int32_t last_write_time) {
  try {
    ensure_pool(tree);
    const char* copy = pool_copy(tree->string_pool, path, std::strlen(path));
    const int32_t k = array_count(tree->dirs);
    array_add(tree->dirs, 1);
    if (array_count(tree->dirs) != k + 1) return -1;
    tree->dirs[k] = {copy, last_write_time, 0, 0};
    return k;
  } catch (const std::exception&) {
    return -1;
  }
}

int32_t dir_tree_add_file(dir_tree* tree, const char* name, int32_t dir_index, int64_t size,
                          int32_t last_write_time) {
  if (dir_index < 0 || dir_index >= array_count(tree->dirs)) return -1;
  try {
    ensure_pool(tree);
    const char* copy = pool_copy(tree->string_pool, name, std::strlen(name));
    const int32_t k = array_count(tree->files);
    array_add(tree->files, 1);
    if (array_count(tree->files) != k + 1) return -1;
    tree->files[k] = {copy, dir_index, size, last_write_time, 0};
    tree->dirs[dir_index].file_count++;
    return k;
  } catch (const std::exception&) {
    return -1;
  }
}

void dir_tree_free_contents(dir_tree* tree) {
  if (tree == nullptr) return;
  array_free(tree->dirs);
  array_free(tree->files);
  delete tree->string_pool;
  tree->string_pool = nullptr;
}

void dir_tree_free(dir_tree* tree) {
  dir_tree_free_contents(tree);
  delete tree;
}

int dir_tree_load_cache(dir_tree* tree, const char* cache_file, const char* root) {
  dir_tree_free_contents(tree);
  if (cache_file == nullptr) return 0;
  try {
    if (load_cache(tree, cache_file, stripped_root(root)) == load_result::loaded) return 1;
  } catch (const std::exception&) {
  }
  dir_tree_free_contents(tree);
  return 0;
}

int dir_tree_save_cache(const dir_tree* tree, const char* cache_file) {
  if (cache_file == nullptr) return 0;
  try {
    return save_cache(cache_file, tree, nullptr) ? 1 : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

namespace {

// Frees a tree's contents, and the record when it owns it, unless released.
struct tree_guard {
  dir_tree* tree;
  bool owns_record;
  ~tree_guard() {
    if (tree == nullptr) return;
    dir_tree_free_contents(tree);
    if (owns_record) delete tree;
  }
  dir_tree* release() { return std::exchange(tree, nullptr); }
};

dir_tree* get_with_cache_file(const char* root, const char* cache_file) {
  const std::string stored_root = stripped_root(root);
  dir_tree old;
  const tree_guard old_guard{&old, false};
  load_result loaded = load_result::no_file;
  if (cache_file != nullptr) {
    loaded = load_cache(&old, cache_file, stored_root);
  } else if (dir_tree_verbose) {
    std::fputs("No cache file\n", stdout);
  }
  // The new tree takes over the old pool: carried entries need no copies.
  tree_guard fresh{new dir_tree, true};
  dir_tree* tree = fresh.tree;
  tree->string_pool = old.string_pool;
  old.string_pool = nullptr;
  ensure_pool(tree);
  array_reserve(tree->dirs, array_count(old.dirs) + 64, 0);
  array_reserve(tree->files, array_count(old.files) + 256, 0);
  scan_state s{tree, {}};
  s.seen.reserve(static_cast<size_t>(array_count(old.dirs)) + 64);
  const bool changed = refresh(&old, &s, stored_root);
  const int32_t before = array_count(tree->dirs);
  scan(&s, stored_root, 0);
  if (dir_tree_progress_mask != 0) std::printf("%78s\r", "");
  // A damaged cache is rewritten even when the tree has nothing to add.
  if (cache_file != nullptr &&
      (changed || array_count(tree->dirs) - before > 1 || loaded == load_result::damaged))
    save_cache(cache_file, tree, stored_root.c_str());
  return fresh.release();
}

}  // namespace

dir_tree* dir_tree_get_with_cache_file(const char* root, const char* cache_file) {
  try {
    return get_with_cache_file(root, cache_file);
  } catch (const std::exception&) {
    return nullptr;
  }
}

dir_tree* dir_tree_get_in(const char* root, const char* cache_dir) {
  if (cache_dir == nullptr || cache_dir[0] == '\0') return dir_tree_get_with_cache_file(root, nullptr);
  const int n = dir_tree_cache_file_name(root, cache_dir, nullptr, 0);
  if (n < 0) return dir_tree_get_with_cache_file(root, nullptr);
  try {
    std::string file(static_cast<size_t>(n), '\0');
    dir_tree_cache_file_name(root, cache_dir, file.data(), file.size() + 1);
    return dir_tree_get_with_cache_file(root, file.c_str());
  } catch (const std::exception&) {
    return nullptr;
  }
}

dir_tree* dir_tree_get(const char* root) {
  try {
    std::string cache_dir;
    if (!platform_reg_read_text(reg_hive::local_machine, registry_key, "dirtree", &cache_dir))
      cache_dir = default_cache_dir;
    return dir_tree_get_in(root, cache_dir.c_str());
  } catch (const std::exception&) {
    return nullptr;
  }
}

}  // namespace vormap
