#include "maptools/png_writer.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "util/platform/output_file.h"

namespace vormap {

namespace {

// libpng reports errors by calling on_error, which must not return: it
// jumps back into write_rows with the message kept here.
struct png_failure {
  std::jmp_buf jump;
  char message[200];
  int system_error;  // errno when libpng gave up, for "Write Error"
};

[[noreturn]] void on_error(png_structp png, png_const_charp message) {
  auto* failure = static_cast<png_failure*>(png_get_error_ptr(png));
  failure->system_error = errno;
  std::snprintf(failure->message, sizeof failure->message, "%s", message);
  std::longjmp(failure->jump, 1);
}

void on_warning(png_structp, png_const_charp) {}

// Output into memory for encode_png. Growing the vector may throw; the
// allocation failure then ends the program rather than unwinding through
// libpng.
void append_bytes(png_structp png, png_bytep data, size_t length) noexcept {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void flush_nothing(png_structp) noexcept {}

// Everything libpng may jump out of lives in this frame, which owns no C++
// object with a destructor; `row` holds one enlarged row. The PNG goes to
// `file`, or when that is null, to the end of `memory`.
bool write_rows(std::FILE* file, std::vector<uint8_t>* memory, const image& picture, int scale, int level,
                png_byte* row, png_failure& failure) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, on_error, on_warning);
  if (png == nullptr) {
    std::snprintf(failure.message, sizeof failure.message, "out of memory");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    std::snprintf(failure.message, sizeof failure.message, "out of memory");
    return false;
  }
  if (setjmp(failure.jump) != 0) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  if (file != nullptr)
    png_init_io(png, file);
  else
    png_set_write_fn(png, memory, append_bytes, flush_nothing);
  if (level >= 0) {
    // One fixed row filter: choosing one per row costs more than the fast
    // compression itself. SUB suits pictures; stored data needs none.
    png_set_compression_level(png, level);
    png_set_filter(png, 0, level == 0 ? PNG_FILTER_NONE : PNG_FILTER_SUB);
  }
  const int channels = picture.channels;
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width * scale),
               static_cast<png_uint_32>(picture.height * scale), 8,
               channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* source = picture.pixels.data() + static_cast<size_t>(y) * picture.width * channels;
    png_byte* target = row;
    for (int x = 0; x < picture.width; ++x)
      for (int k = 0; k < scale; ++k)
        for (int c = 0; c < channels; ++c) *target++ = source[x * channels + c];
    for (int k = 0; k < scale; ++k) png_write_row(png, row);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

namespace {

bool valid_picture(const image& picture, int scale) {
  return scale >= 1 && scale <= png_max_scale && (picture.channels == 1 || picture.channels == 3) &&
         picture.width > 0 && picture.height > 0 &&
         picture.pixels.size() == static_cast<size_t>(picture.width) * picture.height * picture.channels;
}

}  // namespace

bool encode_png(const image& picture, int scale, std::vector<uint8_t>& png, std::string& error, int level) {
  png.clear();
  if (!valid_picture(picture, scale)) {
    error = "invalid picture or scale";
    return false;
  }
  std::vector<png_byte> row(static_cast<size_t>(picture.width) * scale * picture.channels);
  png_failure failure{};
  if (write_rows(nullptr, &png, picture, scale, level, row.data(), failure)) return true;
  error = failure.message;
  return false;
}

bool write_png(const std::string& path, const image& picture, int scale, std::string& error) {
  std::vector<uint8_t> png;
  if (!encode_png(picture, scale, png, error)) {
    error = "cannot write '" + path + "': " + error;
    return false;
  }
  return write_output_file(path, std::string_view(reinterpret_cast<const char*>(png.data()), png.size()), error);
}

}  // namespace vormap
