# MPFR (Debian libmpfr-dev), for the correctly rounded tables and their test.
# Defines MPFR::MPFR.
find_path(MPFR_INCLUDE_DIR mpfr.h)
find_library(MPFR_LIBRARY mpfr)
find_library(MPFR_GMP_LIBRARY gmp)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(MPFR REQUIRED_VARS MPFR_LIBRARY MPFR_GMP_LIBRARY MPFR_INCLUDE_DIR)
if(MPFR_FOUND AND NOT TARGET MPFR::MPFR)
  add_library(MPFR::MPFR UNKNOWN IMPORTED)
  set_target_properties(MPFR::MPFR PROPERTIES
    IMPORTED_LOCATION "${MPFR_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${MPFR_INCLUDE_DIR}"
    INTERFACE_LINK_LIBRARIES "${MPFR_GMP_LIBRARY}")
endif()
mark_as_advanced(MPFR_INCLUDE_DIR MPFR_LIBRARY MPFR_GMP_LIBRARY)
