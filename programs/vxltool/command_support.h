// What vxltool's commands share: reading their arguments, loading maps and
// reporting errors in one style.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vxl/vxl_reader.h"

namespace vormap {

// A bad command line, as one line on standard error: "vxltool: MESSAGE;
// try 'vxltool --help'". Returns 2.
int usage_error(const std::string& message);
// The same for one command: "vxltool: COMMAND: MESSAGE; try 'vxltool
// COMMAND --help'". Returns 2.
int usage_error(const std::string& command, const std::string& message);

// Prints "vxltool: MESSAGE" on standard error; returns `status`.
int fail(int status, const std::string& message);
// Prints "vxltool: COMMAND: MESSAGE" on standard error; returns `status`.
int fail(const std::string& command, int status, const std::string& message);

// Positional arguments and the options a command takes.
struct command_arguments {
  std::vector<std::string> files;
  bool heightmap = false;  // preview --heightmap
  bool absolute = false;   // preview --absolute: the heightmap on the fixed scale
  int scale = 1;           // preview --scale N
  std::string base;        // from-vox --base MAP.vxl
  bool plain = false;      // mesh --plain
  bool meshopt = false;    // mesh --meshopt
  bool json = false;       // info --json
};

// Which options a command reads besides its files.
enum class command_options { none, preview, from_vox, mesh, info };

// Splits `args` into files and options; "--" ends the options. Returns false
// with a message for an option it does not know or a bad value.
bool parse_command_arguments(const std::vector<std::string>& args, command_options options,
                             command_arguments& out, std::string& message);

// parse_command_arguments, then checks that exactly `files` files were given.
// On a bad command line prints the usage error and returns false (status 2).
bool read_command_line(const std::string& command, const std::vector<std::string>& args,
                       command_options options, size_t files, command_arguments& out);

// Reads and decodes the map at `path`. On failure prints one line and
// returns false.
bool load_map(const std::string& path, vxl_map& map);

// As load_map, keeping the file's bytes too.
bool load_map_bytes(const std::string& path, std::vector<uint8_t>& bytes, vxl_map& map);

// The last component of a path.
std::string base_name(const std::string& path);

}  // namespace vormap
