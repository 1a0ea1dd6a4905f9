# vormap_embed_assets(TARGET NAME FILES file...)
#
# Builds the static library NAME that carries the bytes of each FILE (paths
# absolute, or relative to the calling folder), regenerated whenever one of
# them changes. Its header, included as "NAME.h", declares
#
#   std::string_view NAME_get(std::string_view file_name);
#
# which returns the contents of the file of that base name, or an empty view
# when there is none. Files may come from the build tree (a bundle made by
# another rule): name them with their full path and the rule that makes them
# is a dependency.
set(VORMAP_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/embed_assets_generate.cmake)

function(vormap_embed_assets)
  cmake_parse_arguments(E "" "TARGET" "FILES" ${ARGN})
  set(name ${E_TARGET})
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${name}_generated)
  set(files)
  foreach(f IN LISTS E_FILES)
    get_filename_component(abs ${f} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    list(APPEND files ${abs})
  endforeach()
  string(REPLACE ";" "|" file_arg "${files}")
  add_custom_command(
    OUTPUT ${dir}/${name}.cpp ${dir}/${name}.h
    COMMAND ${CMAKE_COMMAND} -DNAME=${name} -DOUT_DIR=${dir} "-DFILES=${file_arg}"
            -P ${VORMAP_EMBED_SCRIPT}
    DEPENDS ${files} ${VORMAP_EMBED_SCRIPT}
    COMMENT "Embedding ${name}"
    VERBATIM)
  add_library(${name} STATIC ${dir}/${name}.cpp)
  target_include_directories(${name} PUBLIC ${dir})
endfunction()
