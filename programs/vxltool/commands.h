// vxltool's commands: each takes the arguments after its name and returns
// the program's exit status. One file pair per command, and one row of the
// table in commands.cpp, which holds the command's help beside it.
#pragma once

#include <string>
#include <vector>

namespace vormap {

using command_function = int (*)(const std::vector<std::string>& args);

struct vxltool_command {
  const char* name;
  command_function run;
  // What follows "vxltool" on the command's usage line, options in brackets:
  // "preview [--heightmap [--absolute]] [--scale N] FILE OUT.png".
  const char* synopsis;
  // One line for the program's list of commands.
  const char* summary;
  // The rest of the command's help: what it does, then under "Options:" one
  // option a line, each such line starting with two spaces and the option.
  // The synopsis and these lines are the command's options, which its
  // manual page and the shell completions must list too.
  const char* help;
};

// Every command, in the order the usage lists them.
const std::vector<vxltool_command>& vxltool_commands();

// The command called `name`, or null.
const vxltool_command* find_vxltool_command(const std::string& name);

// The program's usage: its commands and how to get a command's help.
std::string vxltool_usage();

// One command's whole help text.
std::string command_help(const vxltool_command& command);

// "vxltool VERSION".
std::string vxltool_version();

int help_command(const std::vector<std::string>& args);
int info_command(const std::vector<std::string>& args);
int preview_command(const std::vector<std::string>& args);
int diff_command(const std::vector<std::string>& args);
int mesh_command(const std::vector<std::string>& args);
int view_command(const std::vector<std::string>& args);
int web_command(const std::vector<std::string>& args);
int to_vox_command(const std::vector<std::string>& args);
int from_vox_command(const std::vector<std::string>& args);

}  // namespace vormap
