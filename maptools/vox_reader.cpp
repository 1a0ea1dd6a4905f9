#include "maptools/vox_reader.h"

#include <charconv>
#include <cstring>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "util/quoted_text.h"

namespace vormap {
namespace {

// Limits well above what an editor writes, so that a hostile file cannot
// make the reader build an endless scene.
constexpr size_t max_models = 4096;
constexpr size_t max_nodes = 65536;
constexpr int max_depth = 64;
constexpr size_t max_placements = 65536;
constexpr size_t max_visits = 1 << 20;
constexpr size_t no_offset = static_cast<size_t>(-1);

struct failure {
  size_t offset;
  std::string message;
};

// Reads the little-endian fields of one chunk's content.
class cursor {
 public:
  cursor(std::span<const uint8_t> file, size_t begin, size_t end) : file_(file), pos_(begin), end_(end) {}
  size_t pos() const { return pos_; }
  size_t left() const { return end_ - pos_; }

  int32_t i32(const char* what) {
    need(4, what);
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(file_[pos_ + size_t(i)]) << (8 * i);
    pos_ += 4;
    return static_cast<int32_t>(v);
  }
  std::string str(const char* what) {
    const int32_t n = i32(what);
    if (n < 0) throw failure{pos_ - 4, std::string(what) + ": negative string length"};
    need(size_t(n), what);
    std::string s(reinterpret_cast<const char*>(file_.data() + pos_), size_t(n));
    pos_ += size_t(n);
    return s;
  }
  std::map<std::string, std::string> dict(const char* what) {
    const size_t at = pos_;
    const int32_t n = i32(what);
    // Each pair takes at least eight bytes.
    if (n < 0 || size_t(n) > left() / 8) throw failure{at, std::string(what) + ": bad entry count " + std::to_string(n)};
    std::map<std::string, std::string> d;
    for (int32_t i = 0; i < n; ++i) {
      std::string key = str(what);
      d[std::move(key)] = str(what);
    }
    return d;
  }
  const uint8_t* bytes(size_t n, const char* what) {
    need(n, what);
    const uint8_t* p = file_.data() + pos_;
    pos_ += n;
    return p;
  }

 private:
  void need(size_t n, const char* what) const {
    if (n > left()) throw failure{pos_, std::string(what) + " runs past the end of its chunk"};
  }
  std::span<const uint8_t> file_;
  size_t pos_, end_;
};

struct transform_node {
  size_t offset;
  int child;
  int translation[3] = {0, 0, 0};
};
struct group_node {
  size_t offset;
  std::vector<int> children;
};
struct shape_node {
  size_t offset;
  int model;
};

int parse_int(const std::string& text, size_t offset, const char* what) {
  int v = 0;
  const char* first = text.data();
  const char* last = first + text.size();
  const auto [end, ec] = std::from_chars(first, last, v);
  if (ec != std::errc() || end != last) throw failure{offset, std::string("bad ") + what + " " + quote_text(text)};
  return v;
}

// A frame's translation "x y z"; a rotation other than none is refused.
void read_frame(const std::map<std::string, std::string>& frame, size_t offset, transform_node& node) {
  if (const auto r = frame.find("_r"); r != frame.end()) {
    // The rotation byte of the identity: row 0 has its 1 in column 0, row 1
    // in column 1, all signs positive.
    if (parse_int(r->second, offset, "rotation") != 4)
      throw failure{offset, "a model is rotated (rotation " + quote_text(r->second) + "); only moved models can become a map"};
  }
  if (const auto t = frame.find("_t"); t != frame.end()) {
    // Reported whole, however it is wrong: "x y z", whole numbers.
    const std::string& s = t->second;
    size_t at = 0;
    for (int a = 0; a < 3; ++a) {
      const size_t space = a < 2 ? s.find(' ', at) : s.size();
      int v = 0;
      const char* first = s.data() + at;
      const char* last = s.data() + (space == std::string::npos ? s.size() : space);
      const auto [end, ec] = std::from_chars(first, last, v);
      if (space == std::string::npos || ec != std::errc() || end != last || first == last)
        throw failure{offset, "bad translation " + quote_text(s) + " (not three whole numbers \"x y z\")"};
      if (v < -1000000 || v > 1000000) throw failure{offset, "translation " + quote_text(s) + " is out of range"};
      node.translation[a] = v;
      at = space + 1;
    }
  }
}

struct reader {
  std::span<const uint8_t> file;
  vox_scene& scene;
  std::map<int, transform_node> transforms;
  std::map<int, group_node> groups;
  std::map<int, shape_node> shapes;
  std::optional<size_t> pending_size;  // a SIZE waiting for its XYZI
  bool palette = false;
  size_t visits = 0;
  size_t placed_voxels = 0;

  void add_node(int id, size_t offset) {
    if (id < 0) throw failure{offset, "negative node id " + std::to_string(id)};
    if (transforms.count(id) || groups.count(id) || shapes.count(id))
      throw failure{offset, "node " + std::to_string(id) + " is defined twice"};
    if (transforms.size() + groups.size() + shapes.size() >= max_nodes) throw failure{offset, "too many scene nodes"};
  }

  void chunk(const char* id, size_t begin, size_t end) {
    cursor c(file, begin, end);
    if (std::memcmp(id, "SIZE", 4) == 0) {
      if (pending_size) throw failure{begin, "SIZE chunk without its XYZI chunk"};
      if (scene.models.size() >= max_models) throw failure{begin, "too many models"};
      vox_model m;
      for (int& s : m.size) {
        s = c.i32("SIZE chunk");
        if (s < 1 || s > 256) throw failure{c.pos() - 4, "model size " + std::to_string(s) + " is not 1 to 256"};
      }
      scene.models.push_back(std::move(m));
      pending_size = begin;
    } else if (std::memcmp(id, "XYZI", 4) == 0) {
      if (!pending_size) throw failure{begin, "XYZI chunk without a SIZE chunk before it"};
      pending_size.reset();
      vox_model& m = scene.models.back();
      const int32_t n = c.i32("XYZI chunk");
      if (n < 0 || size_t(n) > c.left() / 4)
        throw failure{begin, "XYZI chunk claims " + std::to_string(n) + " voxels but holds room for " +
                                 std::to_string(c.left() / 4)};
      const uint8_t* v = c.bytes(4 * size_t(n), "XYZI chunk");
      m.voxels.reserve(size_t(n));
      for (size_t i = 0; i < size_t(n); ++i, v += 4) {
        if (v[0] >= m.size[0] || v[1] >= m.size[1] || v[2] >= m.size[2])
          throw failure{begin + 4 + 4 * i, "voxel (" + std::to_string(v[0]) + ", " + std::to_string(v[1]) + ", " +
                                              std::to_string(v[2]) + ") lies outside its model of " +
                                              std::to_string(m.size[0]) + " x " + std::to_string(m.size[1]) + " x " +
                                              std::to_string(m.size[2])};
        // Index 0 is no colour: not a voxel.
        if (v[3] != 0) m.voxels.push_back({v[0], v[1], v[2], v[3]});
      }
    } else if (std::memcmp(id, "RGBA", 4) == 0) {
      if (c.left() < 1024) throw failure{begin, "RGBA chunk holds " + std::to_string(c.left()) + " bytes, not 1024"};
      const uint8_t* p = c.bytes(1024, "RGBA chunk");
      scene.palette[0] = 0;
      for (size_t i = 1; i < 256; ++i) {
        const uint8_t* e = p + 4 * (i - 1);
        scene.palette[i] = uint32_t(e[0]) << 16 | uint32_t(e[1]) << 8 | e[2];
      }
      palette = true;
    } else if (std::memcmp(id, "nTRN", 4) == 0) {
      const int node = c.i32("nTRN chunk");
      add_node(node, begin);
      transform_node t{begin, 0};
      const auto attributes = c.dict("nTRN chunk");
      (void)attributes;
      t.child = c.i32("nTRN chunk");
      c.i32("nTRN chunk");  // reserved
      c.i32("nTRN chunk");  // layer
      const int32_t frames = c.i32("nTRN chunk");
      if (frames < 0 || size_t(frames) > c.left() / 4) throw failure{begin, "nTRN chunk: bad frame count"};
      // The first frame places the model; animation frames are not a map's.
      for (int32_t f = 0; f < frames; ++f) {
        const auto frame = c.dict("nTRN chunk");
        if (f == 0) read_frame(frame, begin, t);
      }
      transforms.emplace(node, t);
    } else if (std::memcmp(id, "nGRP", 4) == 0) {
      const int node = c.i32("nGRP chunk");
      add_node(node, begin);
      c.dict("nGRP chunk");
      const int32_t n = c.i32("nGRP chunk");
      if (n < 0 || size_t(n) > c.left() / 4) throw failure{begin, "nGRP chunk: bad child count " + std::to_string(n)};
      group_node g{begin, {}};
      for (int32_t i = 0; i < n; ++i) g.children.push_back(c.i32("nGRP chunk"));
      groups.emplace(node, std::move(g));
    } else if (std::memcmp(id, "nSHP", 4) == 0) {
      const int node = c.i32("nSHP chunk");
      add_node(node, begin);
      c.dict("nSHP chunk");
      const int32_t n = c.i32("nSHP chunk");
      if (n < 1) throw failure{begin, "nSHP chunk shows no model"};
      // The first model; further ones are animation frames.
      const int model = c.i32("nSHP chunk");
      shapes.emplace(node, shape_node{begin, model});
    }
    // Other chunks (materials, cameras, render settings, notes) do not
    // change the map.
  }

  void place(int node, int depth, const int offset[3], std::vector<vox_model>& placed,
             const std::vector<vox_model>& models) {
    if (depth > max_depth) throw failure{no_offset, "the scene graph is nested too deeply or has a cycle"};
    if (++visits > max_visits) throw failure{no_offset, "the scene graph is too large"};
    if (const auto t = transforms.find(node); t != transforms.end()) {
      const int sum[3] = {offset[0] + t->second.translation[0], offset[1] + t->second.translation[1],
                          offset[2] + t->second.translation[2]};
      place(t->second.child, depth + 1, sum, placed, models);
    } else if (const auto g = groups.find(node); g != groups.end()) {
      for (const int child : g->second.children) place(child, depth + 1, offset, placed, models);
    } else if (const auto s = shapes.find(node); s != shapes.end()) {
      const int model = s->second.model;
      if (model < 0 || size_t(model) >= models.size())
        throw failure{s->second.offset, "shape node " + std::to_string(node) + " shows model " +
                                            std::to_string(model) + ", but the file has " +
                                            std::to_string(models.size())};
      placed_voxels += models[size_t(model)].voxels.size();
      if (placed.size() >= max_placements || placed_voxels > vox_max_voxels)
        throw failure{s->second.offset, "the scene places too many models or voxels"};
      placed.push_back(models[size_t(model)]);
      for (int a = 0; a < 3; ++a) placed.back().translation[a] = offset[a];
    } else {
      throw failure{no_offset, "the scene graph refers to node " + std::to_string(node) + ", which the file lacks"};
    }
  }
};

}  // namespace

bool decode_vox(std::span<const uint8_t> file, vox_scene& scene, std::string& error) {
  scene = vox_scene{};
  try {
    if (file.size() < 8 || std::memcmp(file.data(), "VOX ", 4) != 0)
      throw failure{0, "not a .vox file (it does not start with \"VOX \")"};
    reader r{file, scene, {}, {}, {}, {}, false, 0, 0};
    cursor header(file, 4, file.size());
    const int32_t version = header.i32("header");
    if (version < 150 || version > 200) throw failure{4, "unsupported .vox version " + std::to_string(version)};
    if (file.size() < 20 || std::memcmp(file.data() + 8, "MAIN", 4) != 0)
      throw failure{8, "the MAIN chunk is missing"};
    cursor main(file, 12, file.size());
    const int32_t main_content = main.i32("MAIN chunk");
    const int32_t main_children = main.i32("MAIN chunk");
    if (main_content < 0 || main_children < 0 || size_t(main_content) + size_t(main_children) > file.size() - 20)
      throw failure{12, "MAIN chunk sizes " + std::to_string(main_content) + " + " + std::to_string(main_children) +
                            " do not fit the file's " + std::to_string(file.size() - 20) + " bytes"};
    size_t at = 20 + size_t(main_content);
    const size_t end = at + size_t(main_children);
    while (at < end) {
      if (end - at < 12) throw failure{at, "a chunk header is cut short"};
      char id[4];
      std::memcpy(id, file.data() + at, 4);
      cursor h(file, at + 4, end);
      const int32_t content = h.i32("chunk header");
      const int32_t children = h.i32("chunk header");
      if (content < 0 || children < 0 || size_t(content) + size_t(children) > end - at - 12)
        throw failure{at, "chunk " + quote_text(std::string_view(id, 4)) + " sizes " + std::to_string(content) + " + " +
                              std::to_string(children) + " run past the end of the file"};
      r.chunk(id, at + 12, at + 12 + size_t(content));
      at += 12 + size_t(content) + size_t(children);
    }
    if (r.pending_size) throw failure{*r.pending_size, "SIZE chunk without its XYZI chunk"};
    if (!r.palette) throw failure{end, "the file has no palette (RGBA chunk)"};
    std::vector<vox_model> models = std::move(scene.models);
    scene.models.clear();
    if (r.transforms.empty() && r.groups.empty() && r.shapes.empty()) {
      scene.models = std::move(models);
      for (vox_model& m : scene.models)
        for (int a = 0; a < 3; ++a) m.translation[a] = m.size[a] / 2;
    } else {
      if (!r.transforms.count(0)) throw failure{no_offset, "the scene graph has no root transform (node 0)"};
      const int zero[3] = {0, 0, 0};
      r.place(0, 0, zero, scene.models, models);
    }
    return true;
  } catch (const failure& f) {
    error = f.offset == no_offset ? f.message : "byte offset " + std::to_string(f.offset) + ": " + f.message;
    scene = vox_scene{};
    return false;
  }
}

}  // namespace vormap
