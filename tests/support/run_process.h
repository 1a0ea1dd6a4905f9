// Runs a program to completion and captures what a user would see.
#pragma once

#include <string>
#include <vector>

namespace vormap::testing {

struct process_result {
  int exit_status = -1;  // -1 when the program did not exit normally
  std::string out;
  std::string err;
  long peak_rss_kib = 0;  // peak resident memory of the child
};

// Runs `program` with `args` (argv[0] is `argv0`, or `program` when empty) in
// `directory` (the current one when empty).
process_result run_process(const std::string& program, const std::vector<std::string>& args,
                           const std::string& argv0 = "", const std::string& directory = "");

}  // namespace vormap::testing
