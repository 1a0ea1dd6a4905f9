# cmake -P check_package.cmake: installs the library of the build BUILD_DIR
# into a scratch prefix, builds the programs of this folder against the installed package
# with the same compilers and flags, and runs them against VORMAP_EXE.
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

file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH}/maps)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${SCRATCH}/prefix --component library)
run(${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR} -B ${SCRATCH}/build -G Ninja
    -DCMAKE_PREFIX_PATH=${SCRATCH}/prefix -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
    "-DCMAKE_C_FLAGS=${C_FLAGS}" "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}")
run(${CMAKE_COMMAND} --build ${SCRATCH}/build)
run(${SCRATCH}/build/threaded_maps ${VORMAP_EXE} ${SCRATCH}/maps)
run(${SCRATCH}/build/threaded_maps_c ${VORMAP_EXE} ${SCRATCH}/maps)
file(REMOVE_RECURSE ${SCRATCH})
