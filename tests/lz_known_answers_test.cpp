// The compressor's output is fixed: every input and setting of
// lz_known_answers.h must give the bytes whose size and SHA-256 were pinned,
// and the stream must restore the input.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>

#include "tests/lz_known_answers.h"

namespace vormap::lz_known_answers {
namespace {

TEST(LzKnownAnswers, CompressedBytesArePinned) {
  std::ifstream file(VORMAP_LZ_KNOWN_ANSWERS);
  ASSERT_TRUE(file) << "cannot read " << VORMAP_LZ_KNOWN_ANSWERS;
  std::map<std::string, std::string> pinned;
  for (std::string text; std::getline(file, text);) {
    const size_t second_space = text.find(' ', text.find(' ') + 1);
    pinned[text.substr(0, second_space)] = text;
  }
  size_t checked = 0;
  for (const input& in : inputs()) {
    const bytes data = in.make();
    for (const setting& s : settings()) {
      const bytes packed = compress(data, s);
      const std::string key = in.name + " " + s.name;
      ASSERT_TRUE(pinned.count(key)) << key << " is not pinned";
      EXPECT_EQ(line(in.name, s, packed), pinned[key]);
      bytes restored(data.size());
      if (!data.empty()) {
        EXPECT_EQ(lz_decompress(restored.data(), restored.size(), packed.data(), packed.size()), data.size()) << key;
        EXPECT_TRUE(restored == data) << key;
      }
      ++checked;
    }
  }
  EXPECT_EQ(checked, pinned.size()) << "pinned lines without a case";
}

}  // namespace
}  // namespace vormap::lz_known_answers
