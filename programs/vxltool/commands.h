// vxltool's commands: each takes the arguments after its name and returns
// the program's exit status. One file pair per command.
#pragma once

#include <string>
#include <vector>

namespace vormap {

using command_function = int (*)(const std::vector<std::string>& args);

struct vxltool_command {
  const char* name;
  command_function run;
};

// Every command, in the order the usage lists them.
const std::vector<vxltool_command>& vxltool_commands();

// The program's whole usage text.
const char* vxltool_usage();

int info_command(const std::vector<std::string>& args);
int preview_command(const std::vector<std::string>& args);
int diff_command(const std::vector<std::string>& args);
int mesh_command(const std::vector<std::string>& args);
int view_command(const std::vector<std::string>& args);
int to_vox_command(const std::vector<std::string>& args);
int from_vox_command(const std::vector<std::string>& args);

}  // namespace vormap
