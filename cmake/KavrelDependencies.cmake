# The system libraries the engine links, as the imported targets its static
# library names in its link interface (Kavrel::sodium, Kavrel::mspack,
# CURL::libcurl). The build includes this file, and so does the installed
# package, where only a program that links the static library needs them.
if(NOT WIN32)
  find_package(CURL QUIET)
  find_library(KAVREL_MSPACK_LIBRARY mspack)
endif()
if(WIN32)
  # Cross-built static library (scripts/setup-windows-libs.sh).
  find_library(KAVREL_SODIUM_LIBRARY NAMES libsodium.a sodium)
else()
  find_library(KAVREL_SODIUM_LIBRARY NAMES sodium)
endif()
foreach(kavrel_dependency sodium mspack)
  string(TOUPPER ${kavrel_dependency} kavrel_variable)
  set(kavrel_location ${KAVREL_${kavrel_variable}_LIBRARY})
  if(kavrel_location AND NOT TARGET Kavrel::${kavrel_dependency})
    add_library(Kavrel::${kavrel_dependency} UNKNOWN IMPORTED)
    set_target_properties(Kavrel::${kavrel_dependency} PROPERTIES
                          IMPORTED_LOCATION ${kavrel_location})
  endif()
endforeach()
