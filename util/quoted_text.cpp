#include "util/quoted_text.h"

#include <cstdint>
#include <cstdio>

namespace vormap {

size_t utf8_length(std::string_view text, size_t pos) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) return 1;
  size_t length;
  uint32_t code;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (pos + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(pos + k) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(pos + k) & 0x3F);
  }
  // Overlong forms, surrogates and code points past U+10FFFF are not characters.
  if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
      (code >= 0xD800 && code <= 0xDFFF))
    return 0;
  return length;
}

namespace {

void put_code(std::string& out, unsigned char c) {
  char code[8];
  std::snprintf(code, sizeof code, "\\x%02x", c);
  out += code;
}

// Appends the character or byte at `pos`, escaped as needed; returns its length.
size_t put_character(std::string& out, std::string_view text, size_t pos) {
  const auto c = static_cast<unsigned char>(text[pos]);
  const size_t length = utf8_length(text, pos);
  if (length == 0 || c < 0x20 || c == 0x7F) {
    put_code(out, c);
    return 1;
  }
  // U+0080 to U+009F: control characters some terminals obey.
  if (length == 2 && c == 0xC2 && static_cast<unsigned char>(text[pos + 1]) < 0xA0) {
    put_code(out, c);
    put_code(out, static_cast<unsigned char>(text[pos + 1]));
    return 2;
  }
  out.append(text.substr(pos, length));
  return length;
}

}  // namespace

std::string quote_text(std::string_view text, size_t longest) {
  std::string out = "'";
  size_t k = 0;
  while (k < text.size() && k < longest) k += put_character(out, text, k);
  if (k < text.size()) out += "...";
  out += '\'';
  return out;
}

std::string quote_character(std::string_view text, size_t pos) {
  std::string out = "'";
  if (pos < text.size()) put_character(out, text, pos);
  out += '\'';
  return out;
}

}  // namespace vormap
