# Embeds a file's bytes into a program at build time.
#
#   kavrel_embed_binary(<target> <input file> <file stem> <name> <namespace>)
#
# generates <file stem>.h and <file stem>.cpp in the build tree, adds the source
# to <target> and puts the header's folder on its include path. The header
# declares
#
#   extern const unsigned char <name>[];
#   extern const std::size_t <name>Size;
#
# in <namespace>. The files are generated again whenever the input changes.
#
# This file is also the generator: the custom command runs it in script mode.

if(CMAKE_SCRIPT_MODE_FILE)
  file(READ "${INPUT}" bytes HEX)
  string(LENGTH "${bytes}" hex_length)
  math(EXPR size "${hex_length} / 2")
  if(size EQUAL 0)
    # A C++ array cannot be empty; the size says there is nothing in it.
    set(array "0x00,")
  else()
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," array "${bytes}")
    # Sixteen bytes to a line.
    string(REPEAT "0x..," 16 line_pattern)
    string(REGEX REPLACE "(${line_pattern})" "\\1\n    " array "${array}")
  endif()
  get_filename_component(source_name "${INPUT}" NAME)
  get_filename_component(header_name "${HEADER}" NAME)
  file(WRITE "${HEADER}"
       "// Generated from ${source_name} at build time; do not edit.\n"
       "#pragma once\n\n#include <cstddef>\n\n"
       "namespace ${NAMESPACE} {\n\n"
       "extern const unsigned char ${NAME}[];\n"
       "extern const std::size_t ${NAME}Size;\n\n"
       "}  // namespace ${NAMESPACE}\n")
  file(WRITE "${SOURCE}"
       "// Generated from ${source_name} at build time; do not edit.\n"
       "#include \"${header_name}\"\n\n"
       "namespace ${NAMESPACE} {\n\n"
       "const unsigned char ${NAME}[] = {\n    ${array}\n};\n"
       "const std::size_t ${NAME}Size = ${size};\n\n"
       "}  // namespace ${NAMESPACE}\n")
  return()
endif()

function(kavrel_embed_binary target input stem name namespace)
  # This file, wherever the function is called from.
  set(generator "${CMAKE_CURRENT_FUNCTION_LIST_FILE}")
  set(out_dir "${CMAKE_CURRENT_BINARY_DIR}/embedded")
  set(header "${out_dir}/${stem}.h")
  set(source "${out_dir}/${stem}.cpp")
  add_custom_command(
    OUTPUT "${header}" "${source}"
    COMMAND "${CMAKE_COMMAND}" -DINPUT=${input} -DHEADER=${header} -DSOURCE=${source}
            -DNAME=${name} -DNAMESPACE=${namespace} -P "${generator}"
    DEPENDS "${input}" "${generator}"
    COMMENT "Embedding ${input}"
    VERBATIM)
  target_sources(${target} PRIVATE "${source}" "${header}")
  target_include_directories(${target} PRIVATE "${out_dir}")
endfunction()
