#include "programs/vxltool/command_support.h"

#include <cstdio>

#include "maptools/png_writer.h"
#include "programs/vxltool/commands.h"
#include "programs/vxltool/count_argument.h"

namespace vormap {

int usage_error(const std::string& message) {
  std::fprintf(stderr, "vxltool: %s; try 'vxltool --help'\n", message.c_str());
  return 2;
}

int usage_error(const std::string& command, const std::string& message) {
  std::fprintf(stderr, "vxltool: %s: %s; try 'vxltool %s --help'\n", command.c_str(), message.c_str(),
               command.c_str());
  return 2;
}

int fail(int status, const std::string& message) {
  std::fprintf(stderr, "vxltool: %s\n", message.c_str());
  return status;
}

int fail(const std::string& command, int status, const std::string& message) {
  return fail(status, command + ": " + message);
}

bool parse_command_arguments(const std::vector<std::string>& args, command_options options,
                             command_arguments& out, std::string& message) {
  const bool preview_options = options == command_options::preview;
  bool options_done = false;
  for (size_t k = 0; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (options_done || arg.size() < 2 || arg[0] != '-') {
      out.files.push_back(arg);
    } else if (arg == "--") {
      options_done = true;
    } else if (options == command_options::from_vox && (arg == "--base" || arg.rfind("--base=", 0) == 0)) {
      if (arg == "--base") {
        if (k + 1 == args.size()) {
          message = "--base needs a map file";
          return false;
        }
        out.base = args[++k];
      } else {
        out.base = arg.substr(7);
      }
      if (out.base.empty()) {
        message = "--base needs a map file";
        return false;
      }
    } else if (options == command_options::mesh && arg == "--plain") {
      out.plain = true;
    } else if (options == command_options::mesh && arg == "--meshopt") {
      out.meshopt = true;
    } else if (options == command_options::info && arg == "--json") {
      out.json = true;
    } else if (preview_options && arg == "--heightmap") {
      out.heightmap = true;
    } else if (preview_options && arg == "--absolute") {
      out.absolute = true;
    } else if (preview_options && (arg == "--scale" || arg.rfind("--scale=", 0) == 0)) {
      std::string value;
      if (arg == "--scale") {
        if (k + 1 == args.size()) {
          message = "--scale needs a value";
          return false;
        }
        value = args[++k];
      } else {
        value = arg.substr(8);
      }
      if (!parse_count_argument(value, png_max_scale, out.scale)) {
        message = "--scale must be a whole number from 1 to " + std::to_string(png_max_scale) + ", not '" + value + "'";
        return false;
      }
    } else {
      message = "unknown option '" + arg + "'";
      return false;
    }
  }
  if (out.absolute && !out.heightmap) {
    message = "--absolute is the scale of --heightmap, and needs it";
    return false;
  }
  return true;
}

bool read_command_line(const std::string& command, const std::vector<std::string>& args,
                       command_options options, size_t files, command_arguments& out) {
  std::string message;
  if (!parse_command_arguments(args, options, out, message)) {
    usage_error(command, message);
    return false;
  }
  if (out.files.size() != files) {
    usage_error(command, "takes " + std::to_string(files) + (files == 1 ? " file" : " files") + ", not " +
                std::to_string(out.files.size()));
    return false;
  }
  return true;
}

bool load_map(const std::string& path, vxl_map& map) {
  std::string error;
  if (read_vxl(path, map, error)) return true;
  fail(1, error);
  return false;
}

bool load_map_bytes(const std::string& path, std::vector<uint8_t>& bytes, vxl_map& map) {
  std::string error;
  if (!read_file_bytes(path, vxl_max_file_size, bytes, error)) {
    fail(1, error);
    return false;
  }
  vxl_error damage;
  if (!decode_vxl(bytes, map, damage)) {
    fail(1, "'" + path + "' is damaged: " + describe(damage));
    return false;
  }
  return true;
}

std::string base_name(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace vormap
