// Prints the known-answer lines of the LZ compressor (see lz_known_answers.h):
//   build/release/tests/lz_known_answers_gen > tests/data/lz_known_answers.txt
#include <iostream>

#include "tests/lz_known_answers.h"

int main() {
  using namespace vormap::lz_known_answers;
  for (const input& in : inputs()) {
    const bytes data = in.make();
    for (const setting& s : settings()) std::cout << line(in.name, s, compress(data, s)) << '\n';
  }
  return 0;
}
