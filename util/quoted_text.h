// Text from a file or an argument, quoted for a one-line message. Every
// message that repeats what a user or a file gave goes through here, so that
// no byte of it can move the cursor, retitle the terminal or run over many
// lines.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vormap {

// 'text' in single quotes on one line: control characters (C0, DEL and the
// C1 range) and bytes that are not part of a valid UTF-8 character are shown
// by their code (\x1b); whole characters otherwise. Past `longest` bytes the
// text is cut at a character's start and ended with "...".
std::string quote_text(std::string_view text, size_t longest = 40);

// The character at byte `pos` of `text` in quotes: a whole UTF-8 sequence
// (a Unicode dash is one character to the user, not one byte of it), or the
// byte by its code when it starts no valid sequence.
std::string quote_character(std::string_view text, size_t pos);

// The length of the valid UTF-8 sequence starting at `pos`, 0 if none does.
size_t utf8_length(std::string_view text, size_t pos);

}  // namespace vormap
