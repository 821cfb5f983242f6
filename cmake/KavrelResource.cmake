# Carries a file in the programs that host the engine: as the RCDATA resource
# <name> on Windows, as bytes compiled in elsewhere.
#
#   kavrel_carried_resource(<library> <name> <file> <win32 reader> <embedded reader> <stem>)
#
# makes the static library <library> with the reader that suits the system;
# on Windows also <library>_rc, an object library with the resource, which
# every such program links (a resource in a static library is never pulled
# into a program), and <library>_embedded with the bytes compiled in, for the
# engine's static library, which cannot bring a resource into its host's
# program. The embedded reader includes <stem>.h, which declares k<stem> and
# k<stem>Size.
include(${CMAKE_CURRENT_LIST_DIR}/KavrelEmbed.cmake)

function(kavrel_carried_resource library name file win32_reader embedded_reader stem)
  add_library(${library} STATIC)
  target_link_libraries(${library} PUBLIC kvsystem)
  if(WIN32)
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${library}.rc)
    file(CONFIGURE OUTPUT ${rc} CONTENT "${name} RCDATA \"${file}\"\n")
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${file})
    add_library(${library}_rc OBJECT ${rc})
    add_custom_target(${library}_file DEPENDS ${file})
    add_dependencies(${library}_rc ${library}_file)
    target_sources(${library} PRIVATE ${win32_reader})
    add_library(${library}_embedded STATIC EXCLUDE_FROM_ALL ${embedded_reader})
    target_link_libraries(${library}_embedded PUBLIC kvsystem)
    kavrel_embed_binary(${library}_embedded ${file} ${stem} k${stem} kavrel::resources)
  else()
    target_sources(${library} PRIVATE ${embedded_reader})
    kavrel_embed_binary(${library} ${file} ${stem} k${stem} kavrel::resources)
  endif()
endfunction()
