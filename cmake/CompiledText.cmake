# Text files compiled into a program.
#
#   ssmsg_compile_text(<target> <file> <name>)
#
# adds to <target> a source that defines `const std::string_view <name>` (a name with its
# namespaces, such as ssmsg::tool::kDemoSite) holding the bytes of <file> exactly as they are:
# every byte is written as a character escape, so that no byte of the file (a quote, a backslash,
# a carriage return, a NUL) means anything to the compiler. The source is made at build time from
# the file, so editing the file rebuilds that source alone. The program declares the name itself:
#
#   extern const std::string_view kDemoSite;
#
# Run as a script (cmake -DINPUT=<file> -DOUTPUT=<source> -DNAME=<name> -P CompiledText.cmake),
# this file writes that source.

if(CMAKE_SCRIPT_MODE_FILE)
  if(NOT NAME MATCHES "^(.+)::([A-Za-z_][A-Za-z0-9_]*)$")
    message(FATAL_ERROR "CompiledText: '${NAME}' is not a name within a namespace")
  endif()
  set(namespace ${CMAKE_MATCH_1})
  set(symbol ${CMAKE_MATCH_2})
  get_filename_component(file_name "${INPUT}" NAME)
  file(READ "${INPUT}" bytes HEX)
  if(bytes STREQUAL "")
    set(definition "extern const std::string_view ${symbol}{};")
  else()
    # Twelve bytes to a line.
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1', " bytes "${bytes}")
    string(REPEAT "'[^']+', " 12 line)
    string(REGEX REPLACE "(${line})" "\\1\n" bytes "${bytes}")
    string(REGEX REPLACE " (\n|$)" "\\1" bytes "${bytes}")
    string(STRIP "${bytes}" bytes)
    string(REPLACE "\n" "\n    " bytes "${bytes}")
    # The array is named after the text, so that a unity build may put two texts in one source.
    string(CONCAT definition "namespace {\n\nconst char ${symbol}Bytes[] = {\n    ${bytes}\n};\n\n"
                  "}  // namespace\n\n"
                  "extern const std::string_view ${symbol}{${symbol}Bytes, sizeof ${symbol}Bytes};")
  endif()
  file(WRITE "${OUTPUT}.tmp"
       "// Made by the build from ${file_name}; edit that file instead.\n\n"
       "#include <string_view>\n\n"
       "namespace ${namespace} {\n\n${definition}\n\n}  // namespace ${namespace}\n")
  file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
  return()
endif()

set(SSMSG_COMPILED_TEXT_SCRIPT ${CMAKE_CURRENT_LIST_FILE})

function(ssmsg_compile_text target file name)
  cmake_path(ABSOLUTE_PATH file NORMALIZE)
  string(MAKE_C_IDENTIFIER "${name}" stem)
  set(source ${CMAKE_CURRENT_BINARY_DIR}/compiled_text/${stem}.cpp)
  add_custom_command(
    OUTPUT ${source}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${file} -DOUTPUT=${source} -DNAME=${name}
            -P ${SSMSG_COMPILED_TEXT_SCRIPT}
    DEPENDS ${file} ${SSMSG_COMPILED_TEXT_SCRIPT}
    COMMENT "Compiling in ${file}" VERBATIM)
  target_sources(${target} PRIVATE ${source})
endfunction()
