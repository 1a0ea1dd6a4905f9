// Command-line option parser: single-letter options after a dash, clustered
// letters, and parameters from the rest of the word or the next word.
#pragma once

namespace vormap {

// Splits argv[1..*argc-1] into options and positional arguments.
//
// Returns a null-terminated growable array of option entries in command-line
// order; each entry is a heap string whose first character is the option
// letter and whose rest is the parameter (empty for a flag). The positional
// arguments are moved to argv[1..] and *argc becomes their number + 1.
//
// Returns nullptr when a letter of `param_letters` ends the last word (a
// missing parameter; *argc is then set to 0) or when memory runs out (*argc is
// left as it was). Everything allocated by the call is released on failure.
char** parse_options(int* argc, char** argv, const char* param_letters);

// Releases every entry of an option list and the list itself.
void free_option_list(char** list);

}  // namespace vormap
