#include "util/lz_codec.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "generator/generate_map.h"
#include "world/voxel_world.h"
#include "vxl/vxl_writer.h"

namespace vormap {
namespace {

using bytes = std::vector<uint8_t>;

bytes text_bytes(const std::string& s) { return bytes(s.begin(), s.end()); }

void append_be(bytes& out, uint32_t value, int size) {
  for (int k = size - 1; k >= 0; --k) out.push_back(static_cast<uint8_t>(value >> (8 * k)));
}

// A whole stream around `body`: header with `length` and the default window,
// end marker and `adler`.
bytes make_stream(uint32_t length, const bytes& body, uint32_t adler) {
  bytes s = {0x57, 0xBC, 0, 0, 0, 0, 0, 0};
  append_be(s, length, 4);
  append_be(s, lz_default_window, 4);
  s.insert(s.end(), body.begin(), body.end());
  s.push_back(0x05);
  s.push_back(0xFA);
  append_be(s, adler, 4);
  return s;
}

uint32_t adler_of(const bytes& data) {
  return static_cast<uint32_t>(adler32_z(1, data.data(), data.size()));
}

bytes compress(const bytes& data) {
  bytes out(lz_compress_bound(data.size()));
  const size_t n = lz_compress_memory(out.data(), data.data(), data.size());
  EXPECT_NE(n, 0u);
  EXPECT_LE(n, out.size());
  out.resize(n);
  return out;
}

// The restored data, or nothing when the stream is rejected. Sizes the
// output from the header, as a careful caller would.
std::optional<bytes> decompress(const bytes& stream) {
  const int64_t stated = lz_stream_data_length(stream.data(), stream.size());
  if (stated < 0) return std::nullopt;
  bytes out(static_cast<size_t>(stated));
  const size_t n = lz_decompress(out.data(), out.size(), stream.data(), stream.size());
  if (stated == 0) {
    // Success and rejection both return 0 here; only the canonical empty
    // stream counts as valid.
    const bytes empty = make_stream(0, {}, 1);
    if (stream.size() < empty.size() || !std::equal(empty.begin(), empty.end(), stream.begin())) return std::nullopt;
    return out;
  }
  if (n == 0) return std::nullopt;
  if (n != out.size()) ADD_FAILURE() << "accepted with a length other than the header's";
  return out;
}

bytes body_of(const bytes& stream) { return bytes(stream.begin() + 16, stream.end() - 6); }

bytes random_bytes(size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  bytes out(n);
  for (auto& b : out) b = static_cast<uint8_t>(gen());
  return out;
}

// Bytes of a 16-bit counter from 1, most significant first: no three bytes
// repeat anywhere, so the compressor finds no match.
bytes counter_bytes(size_t n) {
  bytes out(n);
  for (size_t k = 0; k < n; ++k) {
    const size_t value = k / 2 + 1;
    out[k] = static_cast<uint8_t>(k % 2 == 0 ? value >> 8 : value & 0xFF);
  }
  return out;
}

bytes word_text(size_t n, uint32_t seed) {
  static const char* const words[] = {"the ", "quick ", "river ", "valley ", "voxel ", "map ", "of ",
                                      "stone ", "grass ", "lake ", "tree ", "bush ", "and ", "height\n"};
  std::mt19937 gen(seed);
  std::string s;
  while (s.size() < n) s += words[gen() % std::size(words)];
  s.resize(n);
  return text_bytes(s);
}

bytes long_runs(size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  bytes out;
  while (out.size() < n) out.insert(out.end(), 1 + gen() % 100000, static_cast<uint8_t>(gen()));
  out.resize(n);
  return out;
}

// The generator's own map of seed 1.
bytes generated_vxl() {
  return encode_vxl(*generate_world(1, false, 2), 2);
}

std::string temp_path(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("lz_codec_test_" + std::to_string(getpid()) + "_" + name))
      .string();
}

bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return bytes((std::istreambuf_iterator<char>(in)), {});
}

void write_file(const std::string& path, const bytes& data) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                              static_cast<std::streamsize>(data.size()));
}

// Streams `data` through a temporary file in pieces of random sizes (all at
// once when `seed` is 0) and returns the file's bytes.
bytes stream_compress(const bytes& data, uint32_t seed) {
  std::FILE* file = std::tmpfile();
  EXPECT_NE(file, nullptr);
  EXPECT_EQ(lz_stream_begin(file), 1);
  std::mt19937 gen(seed);
  size_t done = 0;
  while (done < data.size()) {
    size_t n = data.size() - done;
    if (seed != 0) n = std::min<size_t>(n, gen() % 3 == 0 ? gen() % 16 : gen() % 70000);
    EXPECT_EQ(lz_stream_write(data.data() + done, n), 1);
    done += n;
  }
  const size_t written = lz_stream_end(0);
  bytes out(written);
  std::rewind(file);
  EXPECT_EQ(std::fread(out.data(), 1, out.size(), file), written);
  std::fclose(file);
  return out;
}

class LzCodec : public ::testing::Test {
 protected:
  void SetUp() override { restore_settings(); }
  void TearDown() override { restore_settings(); }
  static void restore_settings() {
    lz_set_window(lz_default_window);
    lz_set_hash_memory(lz_default_hash_entries * 4);
  }
};

TEST_F(LzCodec, WorkedStreams) {
  const bytes abc7 = text_bytes("abcabcabcabcabcabcabc");
  EXPECT_EQ(compress(abc7), (bytes{0x57, 0xBC, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x15, 0, 0x04, 0, 0, 0x22, 0x61, 0x62,
                                   0x63, 0x91, 0x02, 0x05, 0xFA, 0x58, 0x75, 0x08, 0x0B}));
  EXPECT_EQ(compress({}), (bytes{0x57, 0xBC, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x04, 0, 0, 0x05, 0xFA, 0, 0, 0, 1}));

  struct worked_body {
    const char* name;
    bytes data;
    bytes body;
  };
  bytes literal_65537 = counter_bytes(65537);
  bytes expected_65537 = {0x07, 0xFF, 0xFF};
  expected_65537.insert(expected_65537.end(), literal_65537.begin(), literal_65537.end() - 1);
  expected_65537.push_back(0x20);
  expected_65537.push_back(literal_65537.back());
  const worked_body cases[] = {
      {"abc", text_bytes("abc"), {0x22, 0x61, 0x62, 0x63}},
      {"12 bytes, too short to probe", text_bytes("xyxyxyxyxyxy"),
       {0x2B, 'x', 'y', 'x', 'y', 'x', 'y', 'x', 'y', 'x', 'y', 'x', 'y'}},
      {"300 times a", bytes(300, 'a'), {0x20, 0x61, 0x10, 0x00, 0x00, 0x01, 0x2A}},
      {"65,537-byte literal run", literal_65537, expected_65537},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bytes stream = compress(c.data);
    EXPECT_EQ(stream, make_stream(static_cast<uint32_t>(c.data.size()), c.body, adler_of(c.data)));
    EXPECT_EQ(decompress(stream), c.data);
  }
}

TEST_F(LzCodec, LiteralRunHeaders) {
  // Runs end where a long match of the run's first bytes begins: the run of
  // n literals, then a match of 20 at distance n.
  struct literal_case {
    size_t n;
    bytes header;
  };
  const literal_case cases[] = {
      {32, {0x3F}}, {33, {0x08, 0x20}}, {2048, {0x0F, 0xFF}}, {2049, {0x07, 0x08, 0x00}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    bytes data = counter_bytes(c.n);
    data.insert(data.end(), data.begin(), data.begin() + 20);
    const bytes body = body_of(compress(data));
    ASSERT_GE(body.size(), c.header.size() + c.n);
    EXPECT_EQ(bytes(body.begin(), body.begin() + static_cast<long>(c.header.size())), c.header);
    EXPECT_EQ(bytes(body.begin() + static_cast<long>(c.header.size()),
                    body.begin() + static_cast<long>(c.header.size() + c.n)),
              bytes(data.begin(), data.begin() + static_cast<long>(c.n)));
    EXPECT_EQ(decompress(compress(data)), data);
  }
}

TEST_F(LzCodec, MatchFormsByDistance) {
  // A distinct block, a run of zeros, and the block again: the repeat is a
  // match at distance block + zeros, in the form that distance needs.
  struct far_case {
    size_t block;
    size_t zeros;
    bytes tail;
  };
  const far_case cases[] = {
      {20, 1000, {0x43, 0xFB, 0x13}},                     // 6..256 bytes, up to 16,384 back
      {20, 100000, {0x19, 0x86, 0xB3, 0x13}},               // 8..256 bytes, up to 524,288 back
      {100, 600000, {0x06, 0x09, 0x28, 0x23, 0x63}},        // up to 256 bytes, farther
      {300, 600000, {0x04, 0x09, 0x28, 0xEB, 0x01, 0x2B}},  // longer, farther
  };
  lz_set_window(1 << 20);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.block + c.zeros);
    bytes block = random_bytes(c.block, 7);
    for (auto& b : block) b |= 1;  // no zero inside the block
    bytes data = block;
    data.insert(data.end(), c.zeros, 0);
    data.insert(data.end(), block.begin(), block.end());
    const bytes body = body_of(compress(data));
    ASSERT_GE(body.size(), c.tail.size());
    EXPECT_EQ(bytes(body.end() - static_cast<long>(c.tail.size()), body.end()), c.tail);
    EXPECT_EQ(decompress(compress(data)), data);
  }
}

TEST_F(LzCodec, Setters) {
  struct setter_case {
    int64_t argument;
    uint32_t window;
    uint32_t entries;
  };
  const setter_case cases[] = {
      {-5, 256, 256},          {1, 256, 256},           {100, 256, 256},           {1024, 1024, 256},
      {1025, 1025, 512},       {131072, 131072, 32768}, {20000000, 16777216, 8388608},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.argument);
    EXPECT_EQ(lz_set_window(c.argument), c.window);
    EXPECT_EQ(lz_set_hash_memory(c.argument), c.entries);
  }
}

TEST_F(LzCodec, WindowLimitsDistanceAndIsWrittenToTheHeader) {
  // 300 distinct bytes twice: a repeat at distance 300.
  bytes data = counter_bytes(300);
  data.insert(data.end(), data.begin(), data.end());
  const bytes wide = compress(data);
  EXPECT_EQ(bytes(wide.begin() + 12, wide.begin() + 16), (bytes{0x00, 0x04, 0x00, 0x00}));
  EXPECT_LT(wide.size(), 400u);

  EXPECT_EQ(lz_set_window(299), 299u);
  const bytes narrow = compress(data);
  EXPECT_EQ(bytes(narrow.begin() + 12, narrow.begin() + 16), (bytes{0x00, 0x00, 0x01, 0x2B}));
  EXPECT_GT(narrow.size(), 600u);
  EXPECT_EQ(decompress(narrow), data);
}

TEST_F(LzCodec, MatchWorthwhile) {
  struct case_t {
    uint32_t length;
    uint32_t distance;
    bool worthwhile;
  };
  const case_t cases[] = {
      {2, 1, false},       {3, 256, true},         {3, 257, false},        {5, 16384, false},
      {6, 16384, true},    {6, 16385, false},      {7, 524288, false},     {8, 524288, true},
      {8, 524289, false},  {200, 524289, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(lz_match_worthwhile(c.length, c.distance), c.worthwhile) << c.length << " at " << c.distance;
}

TEST_F(LzCodec, MatchLength) {
  // Equal for `equal` bytes, then different, compared up to `limit`.
  struct case_t {
    uint32_t equal;
    uint32_t limit;
    uint32_t expected;
  };
  const case_t cases[] = {{0, 40, 0}, {7, 40, 7}, {8, 40, 8}, {9, 40, 9}, {17, 40, 17},
                          {30, 30, 30}, {30, 20, 20}, {30, 0, 0}};
  for (const auto& c : cases) {
    bytes a = random_bytes(64, c.equal);
    bytes b = a;
    b[c.equal] ^= 0x40;
    EXPECT_EQ(lz_match_length(a.data(), b.data(), c.limit), c.expected) << c.equal << " / " << c.limit;
  }
  // Overlapping positions: a run compared with itself one byte on.
  const bytes run(100, 'z');
  EXPECT_EQ(lz_match_length(run.data(), run.data() + 1, 99), 99u);
}

TEST_F(LzCodec, DecodesEveryOperationForm) {
  const bytes body = {0x22, 'a',  'b',  'c',  0x82, 0x02, 0x40, 0x02, 0x03, 0x18, 0x00, 0x04, 0x04,
                      0x10, 0x00, 0x00, 0x00, 0x05, 0x08, 0x01, 'x',  'y',  0x07, 0x00, 0x00, 'z',
                      0x06, 0x00, 0x00, 0x02, 0x01, 0x04, 0x00, 0x00, 0x0A, 0x00, 0x02};
  const bytes expected = text_bytes("abcabcabcacabcaaaaaaaxyzxyaaa");
  EXPECT_EQ(decompress(make_stream(29, body, 0xA8EB0B83)), expected);
}

TEST_F(LzCodec, RejectsDamagedStreams) {
  const bytes data = word_text(3000, 5);
  const bytes good = compress(data);
  ASSERT_EQ(decompress(good), data);

  // Every other value of every byte of the end marker and the checksum.
  for (size_t at = good.size() - 6; at < good.size(); ++at) {
    for (int x = 1; x < 256; ++x) {
      bytes bad = good;
      bad[at] ^= static_cast<uint8_t>(x);
      EXPECT_EQ(decompress(bad), std::nullopt) << "byte " << at << " xor " << x;
    }
  }
  // Every truncation.
  for (size_t n = 0; n < good.size(); ++n) {
    bytes out(data.size());
    EXPECT_EQ(lz_decompress(out.data(), out.size(), good.data(), n), 0u) << "truncated to " << n;
  }

  const bytes abc = text_bytes("abc");
  const uint32_t abc_adler = adler_of(abc);
  struct bad_case {
    const char* name;
    bytes stream;
  };
  bytes bad_magic = make_stream(3, {0x22, 'a', 'b', 'c'}, abc_adler);
  bad_magic[1] = 0xBD;
  bytes bad_reserved = make_stream(3, {0x22, 'a', 'b', 'c'}, abc_adler);
  bad_reserved[6] = 1;
  const bad_case cases[] = {
      {"magic", bad_magic},
      {"reserved byte", bad_reserved},
      {"header longer than the data", make_stream(4, {0x22, 'a', 'b', 'c'}, abc_adler)},
      {"header shorter than the data", make_stream(2, {0x22, 'a', 'b', 'c'}, abc_adler)},
      {"match before the start", make_stream(3, {0x82, 0x00}, abc_adler)},
      {"match reaching back too far", make_stream(6, {0x22, 'a', 'b', 'c', 0x82, 0x03}, adler_of(text_bytes("abcabc")))},
      {"match past the end", make_stream(5, {0x22, 'a', 'b', 'c', 0x82, 0x02}, abc_adler)},
      {"literal past the end", make_stream(2, {0x22, 'a', 'b', 'c'}, abc_adler)},
      {"body ends with 00", make_stream(3, {0x22, 'a', 'b', 'c', 0x00}, abc_adler)},
      {"literal runs into the trailer", make_stream(3, {0x29, 'a', 'b', 'c'}, abc_adler)},
  };
  for (const auto& c : cases) EXPECT_EQ(decompress(c.stream), std::nullopt) << c.name;
}

TEST_F(LzCodec, HonoursTheOutputCapacity) {
  const bytes data = word_text(1000, 9);
  const bytes stream = compress(data);
  bytes out(data.size() + 1, 0xEE);
  EXPECT_EQ(lz_decompress(out.data(), data.size() - 1, stream.data(), stream.size()), 0u);
  EXPECT_EQ(lz_decompress(out.data(), data.size(), stream.data(), stream.size()), data.size());
  EXPECT_EQ(out.back(), 0xEE);
  // Bytes after the checksum are not part of the stream.
  bytes padded = stream;
  padded.insert(padded.end(), {1, 2, 3});
  EXPECT_EQ(decompress(padded), data);
}

struct round_trip_case {
  const char* name;
  bytes data;
  uint32_t window;
};

TEST_F(LzCodec, RoundTripsThroughMemoryFileAndStream) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  const round_trip_case cases[] = {
      {"random", random_bytes(300000, seed), lz_default_window},
      {"text", word_text(400000, seed), lz_default_window},
      {"long runs", long_runs(900000, seed), lz_default_window},
      {"text over many small windows", word_text(20000, seed), 256},
      {"random over many windows", random_bytes(50000, seed), 1000},
      {"runs longer than three windows", long_runs(300000, seed), 4096},
      {"text longer than three default windows", word_text(3 * 262144 + 12345, seed), lz_default_window},
      {"generated map", generated_vxl(), lz_default_window},
  };
  const std::string path = temp_path("round_trip.lz");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    lz_set_window(c.window);
    const bytes one_shot = compress(c.data);
    EXPECT_LE(one_shot.size(), lz_compress_bound(c.data.size()));
    EXPECT_EQ(decompress(one_shot), c.data);

    ASSERT_EQ(lz_compress_file(path, c.data.data(), c.data.size()), one_shot.size());
    EXPECT_EQ(read_file(path), one_shot);
    size_t length = 0;
    const auto restored = lz_decompress_file(path, &length);
    ASSERT_NE(restored, nullptr);
    ASSERT_EQ(length, c.data.size());
    EXPECT_EQ(std::memcmp(restored.get(), c.data.data(), length), 0);
    EXPECT_EQ(restored[length], 0);

    const bytes whole = stream_compress(c.data, 0);
    const bytes pieces = stream_compress(c.data, seed | 1);
    EXPECT_EQ(pieces, whole) << "the stream depends on how the data was split";
    EXPECT_LE(whole.size(), lz_compress_bound(c.data.size()));
    EXPECT_EQ(decompress(whole), c.data);
    if (c.data.size() < size_t{3} * c.window) {
      EXPECT_EQ(whole, one_shot);
    }
  }
  std::remove(path.c_str());
}

TEST_F(LzCodec, TinyHashTableStillRoundTrips) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  EXPECT_EQ(lz_set_hash_memory(1), 256u);
  lz_set_window(512);
  bytes data = word_text(30000, seed);
  const bytes noise = random_bytes(5000, seed);
  data.insert(data.end(), noise.begin(), noise.end());
  EXPECT_EQ(decompress(compress(data)), data);
  EXPECT_EQ(decompress(stream_compress(data, seed)), data);
}

TEST_F(LzCodec, StreamStartsAtTheFilePositionAndReturnsToItsEnd) {
  const bytes data = word_text(5000, 3);
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::fputs("head", file);
  ASSERT_EQ(lz_stream_begin(file), 1);
  EXPECT_EQ(lz_stream_begin(file), 0) << "a second stream while one runs";
  ASSERT_EQ(lz_stream_write(data.data(), data.size()), 1);
  const size_t written = lz_stream_end(0);
  EXPECT_EQ(std::ftell(file), static_cast<long>(4 + written));
  std::fputs("tail", file);
  EXPECT_EQ(lz_compress_open_file(file, data.data(), data.size()), written);

  std::rewind(file);
  bytes all(4 + written + 4 + written);
  ASSERT_EQ(std::fread(all.data(), 1, all.size(), file), all.size());
  std::fclose(file);
  const bytes streamed(all.begin() + 4, all.begin() + 4 + static_cast<long>(written));
  const bytes open_file(all.end() - static_cast<long>(written), all.end());
  EXPECT_EQ(streamed, open_file);
  EXPECT_EQ(streamed, compress(data));
  EXPECT_EQ(bytes(all.begin() + 4 + static_cast<long>(written), all.begin() + 8 + static_cast<long>(written)),
            text_bytes("tail"));
}

TEST_F(LzCodec, FileFailures) {
  const bytes data = word_text(100000, 4);
  // No such directory, and a device that refuses every write.
  EXPECT_EQ(lz_compress_file("/nonexistent-dir/x.lz", data.data(), data.size()), 0u);
  EXPECT_EQ(lz_compress_file("/dev/full", data.data(), data.size()), 0u);
  EXPECT_EQ(lz_compress_open_file(nullptr, data.data(), data.size()), 0u);

  std::FILE* full = std::fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(lz_compress_open_file(full, data.data(), data.size()), 0u);
  ASSERT_EQ(lz_stream_begin(full), 1);
  lz_stream_write(data.data(), data.size());
  EXPECT_EQ(lz_stream_end(1), 0u);

  EXPECT_EQ(lz_stream_begin(nullptr), 0);
  EXPECT_EQ(lz_stream_write(data.data(), 10), 0) << "no stream running";
  EXPECT_EQ(lz_stream_end(0), 0u);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::FILE* pipe_end = fdopen(fds[1], "wb");
  EXPECT_EQ(lz_stream_begin(pipe_end), 0) << "the header's length could not be written back";
  std::fclose(pipe_end);
  close(fds[0]);
}

// A pipe with no writer would block a plain open for ever, and a device
// such as /dev/zero never ends: both are refused at once.
TEST_F(LzCodec, DecompressFileRefusesPipesAndDevices) {
  const std::string fifo = temp_path("pipe.lz");
  const std::string zero = temp_path("zero.lz");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
  for (const std::string& path : {fifo, zero}) {
    SCOPED_TRACE(path);
    size_t length = 12345;
    EXPECT_EQ(lz_decompress_file(path, &length), nullptr);
    EXPECT_EQ(length, 0u);
  }
  std::remove(fifo.c_str());
  std::remove(zero.c_str());
}

TEST_F(LzCodec, DecompressFileCases) {
  const bytes data = word_text(2000, 8);
  const bytes good = compress(data);
  bytes bad_checksum = good;
  bad_checksum.back() ^= 1;
  bytes huge_claim = make_stream(0xFFFFFFF0u, {0x22, 'a', 'b', 'c'}, 0);
  struct file_case {
    const char* name;
    std::optional<bytes> contents;  // none: no file
    bool buffer;                   // a buffer comes back
    size_t length;
  };
  const file_case cases[] = {
      {"missing", std::nullopt, false, 0},
      {"empty", bytes{}, false, 0},
      {"shorter than the header", bytes(good.begin(), good.begin() + 10), false, 0},
      {"other magic", text_bytes("plain text that is long enough"), false, 0},
      {"bad checksum", bad_checksum, true, 0},
      {"truncated", bytes(good.begin(), good.end() - 1), true, 0},
      {"length far beyond the file", huge_claim, true, 0},
      {"valid", good, true, data.size()},
  };
  const std::string path = temp_path("decompress_file.lz");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(path.c_str());
    if (c.contents) write_file(path, *c.contents);
    size_t length = 12345;
    const auto out = lz_decompress_file(path, &length);
    EXPECT_EQ(out != nullptr, c.buffer);
    EXPECT_EQ(length, c.length);
    if (out && c.length != 0) {
      EXPECT_EQ(bytes(out.get(), out.get() + length), data);
    }
  }
  std::remove(path.c_str());
}

TEST_F(LzCodec, BoundHoldsForIncompressibleData) {
  for (const size_t n : {size_t{0}, size_t{1}, size_t{13}, size_t{33}, size_t{65537}, size_t{300000}}) {
    const bytes data = random_bytes(n, static_cast<uint32_t>(n));
    bytes out(lz_compress_bound(n));
    EXPECT_LE(lz_compress_memory(out.data(), data.data(), n), out.size()) << n;
  }
  // Short matches between literal runs: every run and match pays its header.
  lz_set_window(256);
  const bytes noise = random_bytes(200000, 11);
  bytes mixed(noise.begin(), noise.begin() + 40);
  for (size_t k = 40; mixed.size() < 150000; k += 37) {
    mixed.insert(mixed.end(), noise.begin() + static_cast<long>(k), noise.begin() + static_cast<long>(k) + 33);
    const bytes repeat(mixed.end() - 40, mixed.end() - 37);
    mixed.insert(mixed.end(), repeat.begin(), repeat.end());
  }
  EXPECT_LE(compress(mixed).size(), lz_compress_bound(mixed.size()));
  EXPECT_LE(stream_compress(mixed, 0).size(), lz_compress_bound(mixed.size()));
}

// The decoder with wide copies against the plain one, on streams of data
// full of short and self-overlapping matches, whole and damaged: both give
// the same result, the same bytes when they accept, and nothing is written
// past the stated length however large the buffer is.
TEST_F(LzCodec, FastDecoderAgreesWithThePlainOne) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  for (int round = 0; round < 300; ++round) {
    bytes data(rng() % 3000);
    for (size_t k = 0; k < data.size(); ++k) {
      const uint32_t r = rng();
      const size_t back = 1 + r % (r & 0x100 ? 300 : 16);
      data[k] = k >= back && (r & 0x600) != 0 ? data[k - back] : static_cast<uint8_t>(r >> 24);
    }
    bytes stream = compress(data);
    if (round % 2 == 1) {
      // Damage: flipped bytes in the body, sometimes a cut.
      for (uint32_t n = 1 + rng() % 4; n > 0 && stream.size() > 16; --n)
        stream[16 + rng() % (stream.size() - 16)] ^= static_cast<uint8_t>(1 + rng() % 255);
      if (rng() % 3 == 0) stream.resize(16 + rng() % (stream.size() - 15));
    }
    const int64_t stated = lz_stream_data_length(stream.data(), stream.size());
    if (stated < 0) continue;
    const size_t length = static_cast<size_t>(stated);
    bytes fast(length + 64, 0xA5);
    bytes plain(length + 64, 0xA5);
    const size_t n_fast = lz_decompress(fast.data(), fast.size(), stream.data(), stream.size());
    const size_t n_plain = lz_decompress_plain(plain.data(), plain.size(), stream.data(), stream.size());
    ASSERT_EQ(n_fast, n_plain) << "round " << round;
    if (n_fast != 0) {
      EXPECT_TRUE(fast == plain) << "round " << round;
    }
    EXPECT_TRUE(std::all_of(fast.begin() + static_cast<std::ptrdiff_t>(length), fast.end(),
                            [](uint8_t b) { return b == 0xA5; }))
        << "round " << round;
  }
}

// A long match that overlaps itself by 16 to 31 bytes, ending within a few
// bytes of the data's end: its copy may not run past the end, nor treat the
// overlap as two separate ranges.
TEST_F(LzCodec, LongSelfOverlappingMatchAtTheEnd) {
  for (const size_t period : {16, 20, 31}) {
    for (const size_t tail : {0, 3, 15}) {
      SCOPED_TRACE("period " + std::to_string(period) + ", tail " + std::to_string(tail));
      bytes data = random_bytes(300, static_cast<uint32_t>(period));
      for (size_t k = 0; k < 200; ++k) data.push_back(data[data.size() - period]);
      const bytes end = random_bytes(tail, 7);
      data.insert(data.end(), end.begin(), end.end());
      const bytes stream = compress(data);
      bytes fast(data.size());
      ASSERT_EQ(lz_decompress(fast.data(), fast.size(), stream.data(), stream.size()), data.size());
      EXPECT_TRUE(fast == data);
    }
  }
}

// The same on whole files, where the fast loop does nearly all the work: a
// generated map and large inputs of the other shapes, decoded into buffers of
// exactly their length, then cut short at random points, where both decoders
// must reject.
TEST_F(LzCodec, FastDecoderAgreesWithThePlainOneOnWholeFiles) {
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  const std::pair<const char*, bytes> cases[] = {
      {"generated map", generated_vxl()},
      {"text", word_text(500000, seed)},
      {"long runs", long_runs(500000, seed)},
      {"random", random_bytes(200000, seed)},
  };
  for (const auto& [name, data] : cases) {
    SCOPED_TRACE(name);
    const bytes stream = compress(data);
    bytes fast(data.size());
    bytes plain(data.size());
    ASSERT_EQ(lz_decompress(fast.data(), fast.size(), stream.data(), stream.size()), data.size());
    ASSERT_EQ(lz_decompress_plain(plain.data(), plain.size(), stream.data(), stream.size()), data.size());
    EXPECT_TRUE(fast == data);
    EXPECT_TRUE(plain == data);
    for (int cut = 0; cut < 20; ++cut) {
      const size_t keep = 16 + rng() % (stream.size() - 16);
      EXPECT_EQ(lz_decompress(fast.data(), fast.size(), stream.data(), keep), 0u) << "cut at " << keep;
      EXPECT_EQ(lz_decompress_plain(plain.data(), plain.size(), stream.data(), keep), 0u) << "cut at " << keep;
    }
  }
}

}  // namespace
}  // namespace vormap
