// JSON for the data blocks of the pages the tools write.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace vormap {

// JSON text made safe inside a <script> element: "<", ">" and "&" become \u
// escapes, so that no "</script>" or "<!--" in a name can change how the
// page is parsed. JSON has these characters only inside strings, where the
// escapes mean the same.
std::string escape_json_for_script(std::string_view json);

// `value` as JSON for a <script> element; bytes that are not UTF-8 become
// U+FFFD rather than an exception.
template <typename Json>
std::string script_json(const Json& value) {
  return escape_json_for_script(value.dump(-1, ' ', false, Json::error_handler_t::replace));
}

}  // namespace vormap
