# Installs the Python module and its stubs (run by `cmake --install`, which
# knows the prefix only now). The folder is one the interpreter searches:
#   /usr          lib/python3/dist-packages            (Debian's packages)
#   ~/.local      lib/python3.X/site-packages          (the user's site)
#   other         lib/python3.X/dist-packages          (/usr/local is searched)
# When the interpreter does not search it (a prefix of one's own), the line
# to add it to PYTHONPATH is printed.
set(prefix "${CMAKE_INSTALL_PREFIX}")
if(prefix STREQUAL "/usr")
  set(folder "lib/python3/dist-packages")
elseif(DEFINED ENV{HOME} AND prefix STREQUAL "$ENV{HOME}/.local")
  set(folder "lib/python${VORMAP_PYTHON_VERSION}/site-packages")
else()
  set(folder "lib/python${VORMAP_PYTHON_VERSION}/dist-packages")
endif()
file(INSTALL "${VORMAP_PYTHON_MODULE}" "${VORMAP_PYTHON_STUBS}" DESTINATION "${prefix}/${folder}")

# Staged installs (DESTDIR, as CPack makes) are not where they will run.
if("$ENV{DESTDIR}" STREQUAL "")
  execute_process(
    COMMAND "${VORMAP_PYTHON}" -c "import sys, os; sys.exit(0 if os.path.realpath(sys.argv[1]) in map(os.path.realpath, sys.path) else 1)"
            "${prefix}/${folder}"
    RESULT_VARIABLE searched OUTPUT_QUIET ERROR_QUIET)
  if(NOT searched EQUAL 0)
    message(STATUS "${VORMAP_PYTHON} does not look in ${prefix}/${folder}; to import vormap, run\n"
                   "  export PYTHONPATH=\"${prefix}/${folder}\${PYTHONPATH:+:\$PYTHONPATH}\"")
  endif()
endif()
