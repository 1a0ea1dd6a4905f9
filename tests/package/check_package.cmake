# cmake -P check_package.cmake: installs the library of the build BUILD_DIR
# into a scratch prefix, builds the programs of this folder against the
# installed package with the same compilers and flags (through CMake, and a C
# program through pkg-config as a Makefile would), and runs them against
# VORMAP_EXE.
foreach(var BUILD_DIR SCRATCH VORMAP_EXE C_COMPILER CXX_COMPILER)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_package.cmake needs -D${var}=...")
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "failed (${status}): ${command}")
  endif()
endfunction()

# The programs that must link libvormap.so.0, not the archive.
function(expect_shared program)
  execute_process(COMMAND readelf -d ${program} OUTPUT_VARIABLE dynamic RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT dynamic MATCHES "NEEDED[^\n]*\\[libvormap\\.so\\.0\\]")
    message(FATAL_ERROR "${program} does not load libvormap.so.0:\n${dynamic}")
  endif()
endfunction()

set(prefix ${SCRATCH}/prefix)
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH}/maps)
# The development files and the shared library, as libvormap-dev and
# libvormap0 install them.
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component library)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component runtime)

run(${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR} -B ${SCRATCH}/build -G Ninja
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
    "-DCMAKE_C_FLAGS=${C_FLAGS}" "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}")
run(${CMAKE_COMMAND} --build ${SCRATCH}/build)
expect_shared(${SCRATCH}/build/threaded_maps_shared)

# C through pkg-config: `cc $(pkg-config --cflags vormap) ... $(pkg-config
# --libs vormap)`, which links the shared library.
file(GLOB_RECURSE pc_files ${prefix}/vormap.pc)
list(LENGTH pc_files pc_count)
if(NOT pc_count EQUAL 1)
  message(FATAL_ERROR "expected one vormap.pc below ${prefix}, found: ${pc_files}")
endif()
get_filename_component(pc_dir ${pc_files} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
foreach(what cflags libs)
  execute_process(COMMAND pkg-config --${what} vormap OUTPUT_VARIABLE pc_${what} OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "pkg-config --${what} vormap failed")
  endif()
  separate_arguments(pc_${what} UNIX_COMMAND "${pc_${what}}")
endforeach()
execute_process(COMMAND pkg-config --variable=libdir vormap OUTPUT_VARIABLE pc_libdir OUTPUT_STRIP_TRAILING_WHITESPACE)
separate_arguments(c_flags UNIX_COMMAND "${C_FLAGS}")
separate_arguments(linker_flags UNIX_COMMAND "${LINKER_FLAGS}")
set(pc_program ${SCRATCH}/build/threaded_maps_c_pkgconfig)
run(${C_COMPILER} -std=c11 -O2 ${c_flags} ${pc_cflags} ${CMAKE_CURRENT_LIST_DIR}/threaded_maps_c.c -o ${pc_program}
    ${linker_flags} ${pc_libs} -pthread -Wl,-rpath,${pc_libdir})
expect_shared(${pc_program})

run(${SCRATCH}/build/threaded_maps ${VORMAP_EXE} ${SCRATCH}/maps)
run(${SCRATCH}/build/threaded_maps_c ${VORMAP_EXE} ${SCRATCH}/maps)
run(${SCRATCH}/build/threaded_maps_shared ${VORMAP_EXE} ${SCRATCH}/maps)
run(${pc_program} ${VORMAP_EXE} ${SCRATCH}/maps)
file(REMOVE_RECURSE ${SCRATCH})
