#include "maptools/script_json.h"

namespace vormap {

std::string escape_json_for_script(std::string_view json) {
  std::string out;
  out.reserve(json.size());
  for (const char c : json) {
    switch (c) {
      case '<': out += "\\u003c"; break;
      case '>': out += "\\u003e"; break;
      case '&': out += "\\u0026"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace vormap
