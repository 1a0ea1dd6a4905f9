// The Python module `vormap`: maps made or read as objects whose grids are
// numpy views of the map's own memory, their files, figures and previews,
// and the search over many seeds. Every long computation runs with the
// interpreter's lock released, so Python threads make maps in parallel.
#include <Python.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <vormap/vormap.h>

#include "api/map_state.h"
#include "maptools/map_figures.h"
#include "maptools/png_writer.h"
#include "programs/vxltool/figure_filter.h"
#include "programs/vxltool/seed_list.h"
#include "python/python_map.h"
#include "python/seed_search.h"
#include "util/platform/files.h"
#include "vxl/vxl_reader.h"
#include "vxl/vxl_writer.h"

namespace py = pybind11;

namespace vormap {
namespace {

constexpr int max_threads = 256;
constexpr int64_t max_top = 1'000'000;
constexpr const char* option_keys[] = {"lake", "symmetry", "keep", "water", "trees", "hills"};

// vormap.VxlError, made when the module is.
PyObject* vxl_error_type = nullptr;

[[noreturn]] void raise(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw py::error_already_set();
}

std::string type_name(py::handle value) { return Py_TYPE(value.ptr())->tp_name; }

// A whole number (an int or anything with __index__, but not a bool) from
// `low` to `high`.
int64_t whole_number(py::handle value, const std::string& what, int64_t low, int64_t high) {
  if (PyBool_Check(value.ptr()) || !PyIndex_Check(value.ptr()))
    raise(PyExc_TypeError, what + " must be an int, not " + type_name(value));
  const py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
  if (!index) throw py::error_already_set();
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
  if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
  if (overflow != 0 || v < low || v > high)
    raise(PyExc_ValueError, what + " must be from " + std::to_string(low) + " to " + std::to_string(high) + ", not " +
                                std::string(py::str(index)));
  return v;
}

bool flag(py::handle value, const std::string& what) {
  if (!PyBool_Check(value.ptr())) raise(PyExc_TypeError, what + " must be a bool, not " + type_name(value));
  return value.ptr() == Py_True;
}

std::string text(py::handle value, const std::string& what) {
  if (!PyUnicode_Check(value.ptr())) raise(PyExc_TypeError, what + " must be a str, not " + type_name(value));
  return value.cast<std::string>();
}

// A path as str, bytes or os.PathLike, in the file system's encoding.
std::string path_of(py::handle path) {
  return py::bytes(py::module_::import("os").attr("fsencode")(path)).cast<std::string>();
}

int thread_count(py::handle threads) {
  return static_cast<int>(whole_number(threads, "threads", 0, max_threads));
}

// Sets the variant option `key` of `options` from a Python value: the
// choices as str, the amounts as numbers.
void set_option(map_options& options, const std::string& key, py::handle value) {
  if (key == "lake" || key == "symmetry" || key == "keep") {
    const std::string problem = set_map_option(options, key, text(value, key));
    if (!problem.empty()) raise(PyExc_ValueError, problem);
    return;
  }
  double* factor = key == "water" ? &options.water : key == "trees" ? &options.trees : key == "hills" ? &options.hills : nullptr;
  if (factor == nullptr)
    raise(PyExc_TypeError, "unknown map option '" + key + "' (lake, symmetry, keep, water, trees or hills)");
  if (PyBool_Check(value.ptr()) || !(PyFloat_Check(value.ptr()) || PyIndex_Check(value.ptr())))
    raise(PyExc_TypeError, key + " must be a number, not " + type_name(value));
  *factor = py::float_(py::reinterpret_borrow<py::object>(value)).cast<double>();
}

map_options options_of(py::object seed, py::object debug, py::object threads, py::object name, py::kwargs variant) {
  map_options options;
  if (!name.is_none()) {
    if (!seed.is_none()) raise(PyExc_TypeError, "give the seed or the name, not both");
    const std::string problem = parse_map_name(text(name, "name"), options);
    if (!problem.empty()) raise(PyExc_ValueError, problem);
  } else if (seed.is_none()) {
    raise(PyExc_TypeError, "a map needs a seed (or a name such as '1234:lake=north')");
  } else {
    options.seed = static_cast<int32_t>(whole_number(seed, "seed", -2147483648LL, 2147483647LL));
  }
  options.debug = flag(debug, "debug");
  options.threads = thread_count(threads);
  for (const auto& [key, value] : variant) set_option(options, py::str(key), value);
  const std::string problem = check_map_options(options);
  if (!problem.empty()) raise(PyExc_ValueError, problem);
  return options;
}

const char* const lake_names[] = {"east", "north", "west", "south"};
const char* const symmetry_names[] = {"none", "mirror", "turn"};
const char* const half_names[] = {"blue", "green"};

py::dict options_dict(const map_options& options) {
  py::dict d;
  d["seed"] = options.seed;
  d["lake"] = lake_names[static_cast<int>(options.lake)];
  d["symmetry"] = symmetry_names[static_cast<int>(options.symmetry)];
  d["keep"] = half_names[static_cast<int>(options.keep)];
  d["water"] = options.water;
  d["trees"] = options.trees;
  d["hills"] = options.hills;
  return d;
}

// The figures as `vxltool info --json` and the search's records give them:
// integers as int, the others rounded as written.
py::dict figures_dict(const map_figures& figures, std::optional<int32_t> seed) {
  py::dict d;
  if (seed) d["seed"] = *seed;
  for (const figure_descriptor& f : figure_table()) {
    const double value = figure_value(f, figures);
    if (f.integer)
      d[f.key] = py::int_(static_cast<long long>(value));
    else
      d[f.key] = py::float_(value);
  }
  return d;
}

// A read-only array over memory `owner` keeps alive.
py::array view(py::dtype type, std::vector<py::ssize_t> shape, std::vector<py::ssize_t> strides, const void* data,
               py::handle owner) {
  py::array a(std::move(type), std::move(shape), std::move(strides), data, owner);
  py::detail::array_proxy(a.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
  return a;
}

python_map& the_map(py::handle self) { return self.cast<python_map&>(); }

py::bytes bytes_of(const std::vector<uint8_t>& data) {
  return py::bytes(reinterpret_cast<const char*>(data.data()), data.size());
}

[[noreturn]] void raise_vxl_error(const std::string& message, const vxl_error& error) {
  const py::object exception = py::handle(vxl_error_type)(message);
  exception.attr("offset") = error.offset;
  exception.attr("x") = error.x >= 0 ? py::object(py::int_(error.x)) : py::none();
  exception.attr("y") = error.y >= 0 ? py::object(py::int_(error.y)) : py::none();
  PyErr_SetObject(vxl_error_type, exception.ptr());
  throw py::error_already_set();
}

[[noreturn]] void raise_too_large(const std::string& what) {
  vxl_error error;
  error.offset = vxl_max_file_size;
  raise_vxl_error(what + " too large to be a map (more than " + std::to_string(vxl_max_file_size) + " bytes)", error);
}

python_map decode(std::span<const uint8_t> file, const std::string& prefix) {
  vxl_error error;
  std::optional<python_map> m;
  {
    py::gil_scoped_release unlocked;
    m = decode_python_map(file, error);
  }
  if (!m) raise_vxl_error(prefix + describe(error), error);
  return std::move(*m);
}

python_map read_file(py::handle path_object) {
  const std::string path = path_of(path_object);
  std::vector<uint8_t> bytes;
  int err = 0;
  platform_read_status status;
  {
    py::gil_scoped_release unlocked;
    status = platform_read_bounded(path.c_str(), static_cast<int64_t>(vxl_max_file_size), &bytes, &err);
  }
  switch (status) {
    case platform_read_status::ok: break;
    case platform_read_status::cannot_open:
    case platform_read_status::cannot_read: {
      // OSError(errno, reason, path) becomes FileNotFoundError and its kin.
      const py::object e = py::handle(PyExc_OSError)(err, std::strerror(err), path_object);
      PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(e.ptr())), e.ptr());
      throw py::error_already_set();
    }
    case platform_read_status::not_regular: raise(PyExc_OSError, "cannot read '" + path + "': not a regular file");
    case platform_read_status::too_large: raise_too_large("'" + path + "' is");
  }
  python_map m = decode(bytes, "'" + path + "' is damaged: ");
  m.source = path;
  return m;
}

std::vector<uint8_t> vxl_bytes(const python_map& m, int threads) {
  py::gil_scoped_release unlocked;
  return encode_vxl(m.grids, threads);
}

int threads_for(const python_map& m, py::handle threads) {
  return threads.is_none() ? (m.from_file ? 0 : m.grids.options().threads) : thread_count(threads);
}

struct picture_options {
  bool heightmap;
  height_scale kind;
};

picture_options picture_options_of(py::handle heightmap, py::handle absolute) {
  return {flag(heightmap, "heightmap"), flag(absolute, "absolute") ? height_scale::absolute : height_scale::stretched};
}

image picture_of(const python_map& m, const picture_options& o) {
  py::gil_scoped_release unlocked;
  return preview_of(m.grids, o.heightmap, o.kind);
}

int scale_of(py::handle scale) { return static_cast<int>(whole_number(scale, "scale", 1, png_max_scale)); }

py::array rgb_array(const python_map& m, py::handle scale_object, py::handle heightmap, py::handle absolute) {
  const int scale = scale_of(scale_object);
  const image picture = enlarge_rgb(picture_of(m, picture_options_of(heightmap, absolute)), scale);
  py::array_t<uint8_t> out(std::vector<py::ssize_t>{picture.height, picture.width, 3});
  std::memcpy(out.mutable_data(), picture.pixels.data(), picture.pixels.size());
  return out;
}

std::string describe_map(const python_map& m) {
  if (m.from_file) return m.source.empty() ? "<vormap.Map from bytes>" : "<vormap.Map read from '" + m.source + "'>";
  return "<vormap.Map " + map_name(m.grids.options()) + (m.grids.debug() ? " debug" : "") + ">";
}

// The seeds of a search as increasing ranges: a seed list as vxltool
// search reads it, one seed, a range() or any iterable of seeds.
std::vector<seed_range> seed_ranges_of(py::handle seeds) {
  std::vector<seed_range> ranges;
  constexpr int64_t low = -2147483648LL, high = 2147483647LL;
  if (PyUnicode_Check(seeds.ptr())) {
    std::string error;
    if (!parse_seed_ranges(seeds.cast<std::string>(), ranges, error)) raise(PyExc_ValueError, "seeds: " + error);
    return ranges;
  }
  if (PyIndex_Check(seeds.ptr()) && !PyBool_Check(seeds.ptr())) {
    const int64_t seed = whole_number(seeds, "seed", low, high);
    return {{seed, seed}};
  }
  if (PyRange_Check(seeds.ptr()) && py::int_(seeds.attr("step")).cast<long long>() == 1) {
    if (py::len(seeds) == 0) return ranges;
    const int64_t first = whole_number(seeds.attr("start"), "seed", low, high);
    const int64_t last = whole_number(py::int_(seeds.attr("stop")) - py::int_(1), "seed", low, high);
    return {{first, last}};
  }
  if (PyBytes_Check(seeds.ptr()) || !py::isinstance<py::iterable>(seeds))
    raise(PyExc_TypeError, "seeds must be a seed list such as '1-100', an int or an iterable of ints, not " +
                               type_name(seeds));
  std::vector<int64_t> list;
  for (py::handle item : seeds) list.push_back(whole_number(item, "seed", low, high));
  std::sort(list.begin(), list.end());
  for (const int64_t seed : list) {
    if (!ranges.empty() && seed <= ranges.back().last + 1) {
      ranges.back().last = std::max(ranges.back().last, seed);
    } else {
      ranges.push_back({seed, seed});
    }
  }
  return ranges;
}

// The iterator vormap.search returns.
class search_iterator {
 public:
  search_iterator(std::vector<seed_range> ranges, figure_filter filter, int jobs, int64_t top,
                  const figure_descriptor* by, bool lowest_first)
      : search_(std::make_unique<seed_search>(std::move(ranges), std::move(filter), jobs)),
        top_(top), by_(by), lowest_first_(lowest_first) {}
  ~search_iterator() { stop(); }

  py::dict next() {
    if (top_ > 0 && !ranked_) rank();
    if (ranked_) {
      if (handed_ >= best_.size()) throw py::stop_iteration();
      const ranked& r = best_[handed_++];
      return figures_dict(r.result.figures, r.result.seed);
    }
    search_result result;
    if (!pull(result)) throw py::stop_iteration();
    return figures_dict(result.figures, result.seed);
  }

  void stop() {
    if (!search_) return;
    {
      py::gil_scoped_release unlocked;
      search_->stop();
    }
    search_.reset();
  }

 private:
  struct ranked {
    double value;
    search_result result;
  };

  // The next passing record, waiting with the lock released and answering
  // signals (Ctrl-C) between short waits. False when the search is over.
  bool pull(search_result& out) {
    if (!search_) return false;
    for (;;) {
      seed_search::step step;
      {
        py::gil_scoped_release unlocked;
        step = search_->next(out, std::chrono::milliseconds(100));
      }
      if (step == seed_search::step::record) return true;
      if (step == seed_search::step::done) {
        stop();
        return false;
      }
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    }
  }

  bool better(const ranked& a, const ranked& b) const {
    if (a.value != b.value) return lowest_first_ ? a.value < b.value : a.value > b.value;
    return a.result.seed < b.result.seed;
  }

  // The best top_ records by by_, best first (ties: the smaller seed).
  void rank() {
    const auto order = [this](const ranked& a, const ranked& b) { return better(a, b); };
    search_result result;
    while (pull(result)) {
      best_.push_back({figure_value(*by_, result.figures), result});
      if (static_cast<int64_t>(best_.size()) >= 2 * top_ + 1024) {
        std::nth_element(best_.begin(), best_.begin() + top_, best_.end(), order);
        best_.resize(static_cast<size_t>(top_));
      }
    }
    std::sort(best_.begin(), best_.end(), order);
    if (static_cast<int64_t>(best_.size()) > top_) best_.resize(static_cast<size_t>(top_));
    ranked_ = true;
  }

  std::unique_ptr<seed_search> search_;
  int64_t top_;
  const figure_descriptor* by_;
  bool lowest_first_;
  bool ranked_ = false;
  std::vector<ranked> best_;
  size_t handed_ = 0;
};

search_iterator* start_search(py::handle seeds, py::handle where, py::handle top_object, py::handle by_object,
                              py::handle jobs_object) {
  std::vector<seed_range> ranges = seed_ranges_of(seeds);
  figure_filter filter;
  if (!where.is_none()) {
    std::string error;
    if (!filter.parse(text(where, "where"), error)) raise(PyExc_ValueError, "where: " + error);
  }
  const int64_t top = top_object.is_none() ? 0 : whole_number(top_object, "top", 1, max_top);
  const figure_descriptor* by = nullptr;
  bool lowest_first = false;
  if (!by_object.is_none()) {
    const std::string key = text(by_object, "by");
    lowest_first = !key.empty() && key[0] == '-';
    by = find_figure(lowest_first ? key.substr(1) : key);
    if (by == nullptr) raise(PyExc_ValueError, "by: unknown figure '" + key + "'");
  }
  if ((top > 0) != (by != nullptr)) raise(PyExc_TypeError, "top and by go together");
  int jobs = static_cast<int>(whole_number(jobs_object, "jobs", 0, max_threads));
  if (jobs == 0) jobs = detail::resolve_threads(0);
  return new search_iterator(std::move(ranges), std::move(filter), jobs, top, by, lowest_first);
}

}  // namespace
}  // namespace vormap

PYBIND11_MODULE(vormap, module) {
  using namespace vormap;
  module.doc() = R"(Random maps for a voxel game: 512 x 512 columns of 64 voxels from a seed.

    m = vormap.generate(1234)                 # the map of seed 1234, as `vormap -s 1234` makes it
    m.heights[x, y], m.solid[x, y, z]         # numpy views of the map's own memory
    m.save("1234.vxl")                        # the file vormap writes
    m.figures()["fairness"]                   # the figures of `vxltool info`
    for record in vormap.search("1-1000", where="water_percent < 10", top=10, by="fairness"):
        print(record["seed"], record["fairness"])

Coordinates: x and y from 0 to 511 name a column (x to the right, y down, as in
the previews), z from 0 (the bottom, the water layer) to 63 (the top).
Colours are words 0x80RRGGBB.)";
  // The docstrings give the signatures: the arguments are checked by hand,
  // so pybind11's would show them all as `object`.
  py::options docs;
  docs.disable_function_signatures();
  module.attr("__version__") = version();
  module.attr("MAP_SIZE") = map_size;
  module.attr("MAP_HEIGHT") = map_height;
  py::dict figures;
  for (const figure_descriptor& f : figure_table()) figures[f.key] = py::make_tuple(f.unit, f.description);
  module.attr("FIGURES") = figures;

  vxl_error_type = PyErr_NewExceptionWithDoc(
      "vormap.VxlError",
      "A .vxl file that is not a map: damaged, cut short or too large. The message names the byte offset and the "
      "column where the damage was found; so do the attributes offset, x and y (x and y are None when the damage "
      "lies outside any column).",
      PyExc_ValueError, nullptr);
  module.attr("VxlError") = py::handle(vxl_error_type);

  py::class_<python_map>(module, "Map", R"(A finished map (about 85 MiB), made by generate() or read by read_vxl().

Its grids are read-only numpy views of the map's own memory; the map stays
alive as long as any of them does.)")
      .def_property_readonly(
          "seed", [](const python_map& m) -> py::object { if (m.from_file) return py::none();
            return py::int_(m.grids.seed()); },
          "The seed (None for a map read from a file).")
      .def_property_readonly(
          "debug", [](const python_map& m) -> py::object { if (m.from_file) return py::none();
            return py::bool_(m.grids.debug()); },
          "True when the start regions are painted, as `vormap -d` does (None for a map read from a file).")
      .def_property_readonly(
          "name",
          [](const python_map& m) -> py::object { if (m.from_file) return py::none();
            return py::str(map_name(m.grids.options())); },
          "The map's one name: '1234', or '1234:lake=north,water=1.5' for a variant (None for a map read from a file).")
      .def_property_readonly(
          "options", [](const python_map& m) -> py::object { if (m.from_file) return py::none();
            return options_dict(m.grids.options()); },
          "The seed and variant options as a dict that generate(**options) takes (None for a map read from a file).")
      .def_property_readonly(
          "source", [](const python_map& m) -> py::object { if (m.source.empty()) return py::none();
            return py::str(m.source); },
          "The path the map was read from, else None.")
      .def_property_readonly(
          "heights",
          [](py::object self) {
            const auto h = the_map(self).grids.column_heights();
            return view(py::dtype::of<int32_t>(), {map_size, map_size}, {map_size * 4, 4}, h.data(), self);
          },
          R"(int32 array (512, 512), [x, y]: the height of each column's ground as the terrain left it
(trees not included). For a map read from a file, which keeps no such heights, the z of each
column's top solid voxel (-1 when the column is empty).)")
      .def_property_readonly(
          "solid",
          [](py::object self) {
            const auto s = the_map(self).grids.solid_voxels();
            return view(py::dtype::of<bool>(), {map_size, map_size, map_height},
                        {map_size * map_height, map_height, 1}, s.data(), self);
          },
          "bool array (512, 512, 64), [x, y, z]: True where a voxel is solid.")
      .def_property_readonly(
          "colors",
          [](py::object self) {
            const auto c = the_map(self).grids.voxel_colors();
            return view(py::dtype::of<uint32_t>(), {map_size, map_size, map_height},
                        {map_size * map_height * 4, map_height * 4, 4}, c.data(), self);
          },
          R"(uint32 array (512, 512, 64), [x, y, z]: colour words 0x80RRGGBB. Only solid voxels' colours
mean anything (an empty voxel may hold its column's colour); a map read from a file has 0 for
solid voxels the file stores no colour for.)")
      .def(
          "vxl", [](const python_map& m, py::object threads) { return bytes_of(vxl_bytes(m, threads_for(m, threads))); },
          py::arg("threads") = py::none(),
          "vxl(threads=None) -> bytes\n\nThe .vxl file's bytes, exactly what `vormap -s SEED` writes, encoded on `threads` threads (None: as the map "
          "was made; 0: every processor).")
      .def(
          "save",
          [](const python_map& m, py::object path_object, py::object threads) {
            const std::string path = path_of(path_object);
            const int t = threads_for(m, threads);
            std::string error;
            bool written;
            {
              py::gil_scoped_release unlocked;
              written = write_vxl(*m.grids.state().world, detail::resolve_threads(t), path, error);
            }
            if (!written) raise(PyExc_OSError, error);
          },
          py::arg("path"), py::arg("threads") = py::none(),
          "save(path, threads=None)\n\nWrites the .vxl file to `path` as vormap does: whole or not at all (an existing file is replaced only by "
          "a completely written one). Raises OSError when it cannot.")
      .def(
          "figures",
          [](const python_map& m) {
            map_figures f;
            {
              py::gil_scoped_release unlocked;
              f = figures_of_grids(m.grids.solid_voxels(), m.grids.voxel_colors());
            }
            return figures_dict(f, std::nullopt);
          },
          "figures() -> dict\n\nThe figures as `vxltool info --json` gives them (dict, in its order); vormap.FIGURES explains each.")
      .def(
          "preview",
          [](const python_map& m, py::object scale, py::object heightmap, py::object absolute) {
            return rgb_array(m, scale, heightmap, absolute);
          },
          py::arg("scale") = 1, py::arg("heightmap") = false, py::kw_only(), py::arg("absolute") = false,
          R"(preview(scale=1, heightmap=False, *, absolute=False) -> numpy.ndarray

The top-down picture of `vxltool preview` as a uint8 RGB array (512*scale, 512*scale, 3),
indexed [y, x, channel]. heightmap: grey by height instead (the map's lowest column black, its
highest white; absolute=True: height 0 black, 63 white). scale: 1 to 8.)")
      .def(
          "preview_image",
          [](const python_map& m, py::object scale, py::object heightmap, py::object absolute) {
            py::object image_module;
            try {
              image_module = py::module_::import("PIL.Image");
            } catch (py::error_already_set&) {
              raise(PyExc_ImportError, "preview_image needs Pillow (Debian: python3-pil); preview() gives the array");
            }
            return image_module.attr("fromarray")(rgb_array(m, scale, heightmap, absolute), "RGB");
          },
          py::arg("scale") = 1, py::arg("heightmap") = false, py::kw_only(), py::arg("absolute") = false,
          "preview_image(scale=1, heightmap=False, *, absolute=False) -> PIL.Image.Image\n\npreview() as a Pillow "
          "image (needs Pillow).")
      .def(
          "save_preview",
          [](const python_map& m, py::object path_object, py::object scale, py::object heightmap, py::object absolute) {
            const std::string path = path_of(path_object);
            const int s = scale_of(scale);
            const image picture = picture_of(m, picture_options_of(heightmap, absolute));
            std::string error;
            bool written;
            {
              py::gil_scoped_release unlocked;
              written = write_png(path, picture, s, error);
            }
            if (!written) raise(PyExc_OSError, error);
          },
          py::arg("path"), py::arg("scale") = 1, py::arg("heightmap") = false, py::kw_only(), py::arg("absolute") = false,
          "save_preview(path, scale=1, heightmap=False, *, absolute=False)\n\nWrites preview() as the PNG file `vxltool preview` writes, whole or not at all.")
      .def(
          "_repr_png_",
          [](const python_map& m) {
            const image picture = picture_of(m, {false, height_scale::stretched});
            std::vector<uint8_t> png;
            std::string error;
            if (!encode_png(picture, 1, png, error)) raise(PyExc_RuntimeError, error);
            return bytes_of(png);
          },
          "_repr_png_() -> bytes\n\nThe preview as PNG bytes, so that a notebook shows the map.")
      .def("__repr__", &describe_map);

  module.def(
      "generate",
      [](py::object seed, py::object debug, py::object threads, py::object name, py::kwargs variant) {
        const map_options options = options_of(seed, debug, threads, name, variant);
        std::optional<python_map> m;
        {
          py::gil_scoped_release unlocked;
          m.emplace(generate_python_map(options));
        }
        return std::move(*m);
      },
      py::arg("seed") = py::none(), py::arg("debug") = false, py::arg("threads") = 0, py::kw_only(),
      py::arg("name") = py::none(),
      R"(generate(seed, debug=False, threads=0, *, name=None, lake="east", symmetry="none", keep="blue",
         water=1.0, trees=1.0, hills=1.0) -> Map

The map of `seed` (-2147483648 to 2147483647), byte for byte what `vormap -s SEED` makes.
debug: paint the two start regions (vormap -d). threads: 0 (every processor) to 256.
The variant, as keywords: lake "east", "north", "west" or "south" (the edge the lake lies along);
symmetry "none", "mirror" or "turn"; keep "blue" or "green" (the half a symmetric map keeps);
water 0 to 2, trees 0 to 2, hills 0.25 to 1.75 (1 is the usual amount).
name: a map's name instead of the seed, '1234' or '1234:lake=north,water=1.5' (see Map.name);
keywords then change its variant further.
Raises TypeError for a wrong type or an unknown option, ValueError for a value out of its range.
Runs without the interpreter's lock: maps made on several Python threads are made in parallel.)");

  module.def(
      "parse_name",
      [](py::object name) {
        map_options options;
        const std::string problem = parse_map_name(text(name, "name"), options);
        if (!problem.empty()) raise(PyExc_ValueError, problem);
        return options_dict(options);
      },
      py::arg("name"),
      "parse_name(name) -> dict\n\nThe seed and variant options a map's name stands for, as a dict that generate(**options) takes. Raises "
      "ValueError for a malformed name.");

  module.def(
      "read_vxl", [](py::object path) { return read_file(path); }, py::arg("path"),
      "read_vxl(path) -> Map\n\nThe map in the .vxl file at `path` (str, bytes or os.PathLike). Raises OSError (FileNotFoundError, ...) when "
      "the file cannot be read and VxlError (a ValueError) when it is not a map.");

  module.def(
      "decode_vxl",
      [](py::buffer data) {
        const py::buffer_info info = data.request();
        if (info.ndim != 1 || info.itemsize != 1 || info.strides[0] != 1)
          raise(PyExc_TypeError, "decode_vxl takes bytes or another contiguous buffer of bytes");
        if (static_cast<size_t>(info.size) > vxl_max_file_size) raise_too_large("the data are");
        return decode({static_cast<const uint8_t*>(info.ptr), static_cast<size_t>(info.size)}, "");
      },
      py::arg("data"), "decode_vxl(data) -> Map\n\nThe map in a .vxl file's bytes. Raises VxlError (a ValueError) when they are not a map.");

  py::class_<search_iterator>(module, "Search", "The records of a search, as vormap.search() returns them.")
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", &search_iterator::next)
      .def("close", &search_iterator::stop, "close()\n\nStops the search: the threads finish their maps and end.")
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__", [](search_iterator& s, py::args) { s.stop(); });

  module.def("search", &start_search, py::arg("seeds"), py::arg("where") = py::none(), py::arg("top") = py::none(),
             py::arg("by") = py::none(), py::arg("jobs") = 0, py::return_value_policy::take_ownership,
             R"(search(seeds, where=None, top=None, by=None, jobs=0) -> iterator of dict

The figures of many seeds' maps (made as generate(seed) makes them), as `vxltool search` makes
them: one record per seed that passes `where`, {"seed": N, figure: value, ...}, in seed order.
seeds: a seed list as vxltool search reads it ('1-1000', '1-8,100', 'all'), one seed, a range()
or any iterable of seeds (each made once, in increasing order).
where: an expression over the figures, e.g. 'water_percent < 10 and (fairness >= 0.5 or not
blue_cover > 2000)'. top and by: only the best `top` records by the figure `by` ('-figure' for the
lowest), best first, ties by the smaller seed. jobs: worker threads, 0 for every processor.
The maps are made without the interpreter's lock; stopping the iteration (break, close(), a with
block or Ctrl-C) stops the work. Raises ValueError for a malformed seed list or expression or an
unknown figure, TypeError for wrong types.)");
}
