// Compression and decompression speed and ratio of the LZ codec beside zlib
// (levels 1 and 6) and lz4, on three corpora:
//   maplike: 4 MB of synthetic column spans (runs of slowly changing colours
//            under small span headers), the shape of a map file without the
//            cost of generating one;
//   text:    the licence texts under /usr/share/common-licenses (or generated
//            words where that folder is missing);
//   map:     the file named by VORMAP_BENCH_MAP, or else the map of seed 1.
// bytes_per_second counts uncompressed bytes; `ratio` is uncompressed size
// over compressed size.
//
// What the format and the compressor's algorithm cost before any other work,
// in the same units:
//   walk/lz:  only stepping from each operation's header to the next, which
//             any decoder must do one after the other; `bytes_per_op` is the
//             output an operation makes on average.
//   probe/lz: only the compressor's fixed work at the positions it visits
//             (`visited`, a share of the input): its hashing, four slot reads
//             and writes, and the reads of the four earlier positions,
//             without choosing a match or writing output.
//   chain/lz: the same, with each position waiting for the reads of the one
//             before, as the compressor must.
#include <benchmark/benchmark.h>
#include <lz4.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/seed_map.h"
#include "util/lz_codec.h"
#include "util/lz_codec_internal.h"

namespace vormap {
namespace {

using bytes = std::vector<uint8_t>;

bytes read_whole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return bytes((std::istreambuf_iterator<char>(in)), {});
}

bytes text_corpus() {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/usr/share/common-licenses", ec))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  bytes all;
  for (const auto& f : files) {
    const bytes b = read_whole(f);
    all.insert(all.end(), b.begin(), b.end());
  }
  if (all.empty()) {
    static const char* const words[] = {"the ", "river ", "valley ", "voxel ", "map ", "of ", "stone\n"};
    uint32_t state = 1;
    while (all.size() < 250000) {
      state = state * 1103515245u + 12345u;
      const char* w = words[(state >> 16) % std::size(words)];
      all.insert(all.end(), w, w + std::strlen(w));
    }
  }
  return all;
}

bytes map_corpus() {
  if (const char* path = std::getenv("VORMAP_BENCH_MAP"); path != nullptr && *path != '\0') {
    bytes b = read_whole(path);
    if (!b.empty()) return b;
  }
  return seed_1_file();
}

bytes map_like_corpus() {
  bytes b;
  b.reserve(4u << 20);
  uint32_t state = 23;
  uint32_t color = 0x406080;
  while (b.size() < (4u << 20)) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    const uint32_t r = state;
    if (r % 7 == 0) color += (r >> 8) % 5 - 2;
    b.push_back(static_cast<uint8_t>(r % 3));
    b.push_back(static_cast<uint8_t>(20 + (r >> 4) % 20));
    b.push_back(static_cast<uint8_t>(30 + (r >> 12) % 10));
    b.push_back(0);
    for (uint32_t k = (r >> 20) % 6; k > 0; --k) {
      b.push_back(static_cast<uint8_t>(color));
      b.push_back(static_cast<uint8_t>(color >> 8));
      b.push_back(static_cast<uint8_t>(color >> 16));
      b.push_back(0x7F);
    }
  }
  return b;
}

enum class corpus_id { maplike, text, map };
enum class codec { lz, zlib1, zlib6, lz4 };

const bytes& corpus(corpus_id id) {
  static const bytes text = text_corpus();
  static const bytes map = map_corpus();
  static const bytes maplike = map_like_corpus();
  return id == corpus_id::text ? text : id == corpus_id::map ? map : maplike;
}

size_t compress_with(codec c, const bytes& in, bytes& out) {
  switch (c) {
    case codec::lz:
      out.resize(lz_compress_bound(in.size()));
      return lz_compress_memory(out.data(), in.data(), in.size());
    case codec::zlib1:
    case codec::zlib6: {
      uLongf n = compressBound(static_cast<uLong>(in.size()));
      out.resize(n);
      const int level = c == codec::zlib1 ? 1 : 6;
      return compress2(out.data(), &n, in.data(), static_cast<uLong>(in.size()), level) == Z_OK ? n : 0;
    }
    case codec::lz4: {
      out.resize(static_cast<size_t>(LZ4_compressBound(static_cast<int>(in.size()))));
      const int n = LZ4_compress_default(reinterpret_cast<const char*>(in.data()), reinterpret_cast<char*>(out.data()),
                                         static_cast<int>(in.size()), static_cast<int>(out.size()));
      return n > 0 ? static_cast<size_t>(n) : 0;
    }
  }
  return 0;
}

size_t decompress_with(codec c, const uint8_t* in, size_t in_size, bytes& out) {
  switch (c) {
    case codec::lz:
      return lz_decompress(out.data(), out.size(), in, in_size);
    case codec::zlib1:
    case codec::zlib6: {
      uLongf n = static_cast<uLongf>(out.size());
      return uncompress(out.data(), &n, in, static_cast<uLong>(in_size)) == Z_OK ? n : 0;
    }
    case codec::lz4: {
      const int n = LZ4_decompress_safe(reinterpret_cast<const char*>(in), reinterpret_cast<char*>(out.data()),
                                        static_cast<int>(in_size), static_cast<int>(out.size()));
      return n > 0 ? static_cast<size_t>(n) : 0;
    }
  }
  return 0;
}

void bm_compress(benchmark::State& state, codec c, corpus_id id) {
  const bytes& in = corpus(id);
  bytes out;
  size_t n = 0;
  for (auto _ : state) {
    n = compress_with(c, in, out);
    benchmark::DoNotOptimize(out.data());
  }
  if (n == 0) state.SkipWithError("compression failed");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
  state.counters["ratio"] = static_cast<double>(in.size()) / static_cast<double>(n == 0 ? 1 : n);
  state.counters["input"] = static_cast<double>(in.size());
}

void bm_decompress(benchmark::State& state, codec c, corpus_id id) {
  const bytes& in = corpus(id);
  bytes packed;
  const size_t n = compress_with(c, in, packed);
  bytes out(in.size());
  bool ok = n != 0;
  for (auto _ : state) {
    ok = ok && decompress_with(c, packed.data(), n, out) == in.size();
    benchmark::DoNotOptimize(out.data());
  }
  if (!ok || out != in) state.SkipWithError("decompression failed");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
  state.counters["ratio"] = static_cast<double>(in.size()) / static_cast<double>(n == 0 ? 1 : n);
}

// The fastest walk found: a table lookup and an add from one header to the
// next.
void bm_walk(benchmark::State& state, corpus_id id) {
  const bytes& in = corpus(id);
  bytes packed;
  const size_t n = compress_with(codec::lz, in, packed);
  size_t ops = 0;
  for (auto _ : state) {
    const uint8_t* p = packed.data() + 16;
    ops = 0;
    for (;; ++ops) {
      const uint32_t b0 = p[0];
      const size_t size = detail::lz_header_size[b0];
      if (size == 0) break;
      size_t literal = (b0 >> 5) == 1 ? b0 - 31 : 0;
      if (b0 >= 0x07 && b0 < 0x10) [[unlikely]] {
        literal = b0 == 0x07 ? p[1] * 256 + p[2] + 1 : (b0 - 8) * 256 + p[1] + 1;
      }
      p += size + literal;
    }
    benchmark::DoNotOptimize(p);
  }
  if (n == 0 || ops == 0) state.SkipWithError("compression failed");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
  state.counters["bytes_per_op"] = static_cast<double>(in.size()) / static_cast<double>(ops == 0 ? 1 : ops);
}

// The input positions the compressor visits in making `packed` from `size`
// bytes: every byte of a literal run, and the first of every match, except
// the last 12 bytes of the input, where it stops looking.
std::vector<uint32_t> visited_positions(const bytes& packed, size_t size) {
  std::vector<uint32_t> out;
  const uint8_t* p = packed.data() + 16;
  size_t at = 0;
  // Every operation is followed by at least the end marker and the checksum,
  // so eight bytes can be read at its header.
  for (;;) {
    const detail::lz_op_fields f = detail::lz_op_table[p[0]];
    if (f.size == 0) break;
    const size_t length = f.length(detail::load_be64(p));
    if (f.literal != 0) {
      for (size_t k = 0; k < length; ++k) out.push_back(static_cast<uint32_t>(at + k));
      p += f.size + length;
    } else {
      out.push_back(static_cast<uint32_t>(at));
      p += f.size;
    }
    at += length;
  }
  while (!out.empty() && out.back() + 12 >= size) out.pop_back();
  return out;
}

// The compressor's fixed work at each position it visits (found from its
// output): the hashes, the four slot reads, the first 8 bytes at each slot's
// earlier position, and the four slot writes, with no choice made and nothing
// written. The counter `visited` is the share of input positions visited.
//
// With `chained`, each position waits for the reads of the one before, as in
// the compressor, which knows where it goes on only once it has chosen a match
// from those reads: the work then runs at the latency of its reads.
template <bool chained>
void bm_probe(benchmark::State& state, corpus_id id) {
  const bytes& in = corpus(id);
  bytes packed;
  const size_t n = compress_with(codec::lz, in, packed);
  const std::vector<uint32_t> positions = visited_positions(packed, in.size());
  std::vector<uint32_t> table(lz_default_hash_entries);
  const uint32_t mask = lz_default_hash_entries - 1;
  uint64_t zero = 0;
  benchmark::DoNotOptimize(zero);  // unknown to the compiler, so the wait stays
  for (auto _ : state) {
    std::fill(table.begin(), table.end(), 0);
    uint64_t seen = 0;
    for (uint32_t r : positions) {
      if constexpr (chained) r += static_cast<uint32_t>(seen & zero);
      const detail::lz_position_slots p = detail::lz_slots_of(in.data() + r, mask);
      for (const uint32_t slot : p.slot) {
        const uint32_t entry = table[slot];
        uint64_t earlier;
        std::memcpy(&earlier, in.data() + (entry != 0 ? entry - 1 : 0), 8);
        seen += earlier;
      }
      for (int k = 3; k >= 0; --k) table[p.slot[k]] = r + 1;
    }
    benchmark::DoNotOptimize(seen);
  }
  if (n == 0) state.SkipWithError("compression failed");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
  state.counters["visited"] = static_cast<double>(positions.size()) / static_cast<double>(in.size());
}

const int registered = [] {
  const std::pair<const char*, corpus_id> corpora[] = {
      {"maplike", corpus_id::maplike}, {"text", corpus_id::text}, {"map", corpus_id::map}};
  const std::pair<const char*, codec> codecs[] = {
      {"lz", codec::lz}, {"zlib1", codec::zlib1}, {"zlib6", codec::zlib6}, {"lz4", codec::lz4}};
  for (const auto& [corpus_name, id] : corpora) {
    benchmark::RegisterBenchmark((std::string("walk/lz/") + corpus_name).c_str(), bm_walk, id)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("probe/lz/") + corpus_name).c_str(), bm_probe<false>, id)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("chain/lz/") + corpus_name).c_str(), bm_probe<true>, id)
        ->Unit(benchmark::kMillisecond);
    for (const auto& [codec_name, c] : codecs) {
      const std::string suffix = std::string(codec_name) + "/" + corpus_name;
      benchmark::RegisterBenchmark(("compress/" + suffix).c_str(), bm_compress, c, id)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(("decompress/" + suffix).c_str(), bm_decompress, c, id)
          ->Unit(benchmark::kMillisecond);
    }
  }
  return 0;
}();

}  // namespace
}  // namespace vormap
