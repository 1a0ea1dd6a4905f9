// Byte-oriented LZ77 codec with a self-checking stream format:
//
//   57 BC, six zero bytes, data length (4), window (4), operations,
//   end marker 05 FA, Adler-32 of the data (4); integers big-endian.
//
// The compressor finds back-references through a single-entry hash table
// probed at four prefix lengths. It compresses a whole buffer to memory, to a
// named file or to an open file, or works as a stream fed in pieces. The
// decompressor checks every read and write against the buffers it was given,
// so it is safe on untrusted input: a damaged or truncated stream is rejected.
//
// Settings, the stream state and the hash table are process-wide: one
// compression or decompression at a time, on one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace vormap {

inline constexpr uint32_t lz_default_window = 262144;
inline constexpr uint32_t lz_default_hash_entries = 32768;
inline constexpr uint32_t lz_min_window = 256;
inline constexpr uint32_t lz_max_window = 16777216;
// Header (16) plus end marker and checksum (6).
inline constexpr size_t lz_stream_overhead = 22;
// Largest data length the header can state.
inline constexpr size_t lz_max_data_length = 0xFFFFFFFFu;

// Sets the largest back-reference distance used by later compressions (it is
// also written into their headers), clamped to [256, 16,777,216]. Returns the
// value set.
uint32_t lz_set_window(int64_t size);

// Sizes the hash table of later compressions: one quarter of the smallest
// power of two that is at least 1,024 and at least `bytes` (`bytes` above
// 2^32 counts as 2^32). Returns the number of entries.
uint32_t lz_set_hash_memory(int64_t bytes);

// Worst-case size of the compressed stream of `length` bytes, for sizing the
// output buffer of lz_compress_memory. Holds for every window and table size,
// and for the streamed compressor too.
size_t lz_compress_bound(size_t length);

// Writes the compressed stream of data[0..length) to `out`, which must hold
// lz_compress_bound(length) bytes (its size is not checked). Returns the
// stream's size; 0 when the hash table cannot be allocated or `length` is
// above lz_max_data_length.
size_t lz_compress_memory(uint8_t* out, const uint8_t* data, size_t length);

// Creates or truncates `path` and writes the compressed stream to it. Returns
// the number of bytes written; 0 when the table cannot be allocated (the file
// is then not touched), the file cannot be opened, a write or the close fails,
// or `length` is above lz_max_data_length. The file is always closed.
size_t lz_compress_file(const std::string& path, const uint8_t* data, size_t length);

// Writes the compressed stream at the current position of `file` and leaves
// it open (flushed). Returns the number of bytes written; 0 for a null file, a
// failed allocation or write, or `length` above lz_max_data_length.
size_t lz_compress_open_file(std::FILE* file, const uint8_t* data, size_t length);

// Starts a streamed compression to `file` at its current position. The file
// must be seekable, because the data length is written into the header at the
// end. Returns 1, or 0 for a null or unseekable file, a failed allocation, or
// a stream already running (which is left running).
int lz_stream_begin(std::FILE* file);

// Adds data[0..length) to the running stream. Returns 1, or 0 when no stream
// is running or the stream has failed (a write error, or more data than the
// header can state); a failed stream still has to be ended.
int lz_stream_write(const uint8_t* data, size_t length);

// Finishes the running stream, writes the data length into its header and,
// when `close` is non-zero, closes the file (on failure too). Returns the
// number of bytes the stream took in the file, or 0 when no stream was
// running or any write, seek or close failed. However the data was split
// into writes, the output is the same; it equals that of lz_compress_open_file
// for the same data when the data is shorter than three windows.
size_t lz_stream_end(int close);

// Data length stated by the header of `stream`, or -1 when the first 16
// bytes are not a valid header (too short, wrong magic or reserved bytes).
int64_t lz_stream_data_length(const uint8_t* stream, size_t stream_length);

// Restores the data of stream[0..stream_length) into out[0..capacity).
// Returns the data length, or 0 when the stream is rejected: a bad header, a
// data length above `capacity`, an operation that reads past the stream's end,
// writes past the data length or refers before the start of the data, a
// missing end marker, data shorter than stated, or a checksum mismatch. Bytes
// after the checksum are ignored. Empty data also gives 0.
size_t lz_decompress(uint8_t* out, size_t capacity, const uint8_t* stream, size_t stream_length);

// The same decoding with plain copies, byte by byte where a match overlaps
// itself: the reference lz_decompress is tested against.
size_t lz_decompress_plain(uint8_t* out, size_t capacity, const uint8_t* stream, size_t stream_length);

// Adler-32 of data[0..n) continuing from `adler` (1 to start), as the stream's
// trailer holds it.
uint32_t lz_adler32(uint32_t adler, const uint8_t* data, size_t n);

// Reads the whole file at `path` and restores its data into a new buffer of
// the data length plus one byte, with a zero byte after the data. Returns
// null when the file cannot be opened or read, is not a regular file (a
// pipe or a device), holds more than platform_read_limit bytes, does not
// start with the stream's magic, or memory runs out. A rejected stream
// (including a header that states more data than a file of its size can
// hold) returns a buffer with *length_out set to 0.
std::unique_ptr<uint8_t[]> lz_decompress_file(const std::string& path, size_t* length_out);

// True when a match of `length` bytes at `distance` is worth encoding even
// though it is shorter than 10 bytes.
bool lz_match_worthwhile(uint32_t length, uint32_t distance);

// Number of equal bytes at `earlier` and `current`, at most `limit`.
uint32_t lz_match_length(const uint8_t* earlier, const uint8_t* current, uint32_t limit);

}  // namespace vormap
