# The API reference of the public headers, made by Doxygen (Debian's doxygen) with warnings as
# errors: cmake --build <build> --target docs writes <build>/docs/html/index.html.
find_program(SSMSG_DOXYGEN doxygen DOC "doxygen, which makes the API reference")
set(SSMSG_DOCS_DIR ${PROJECT_BINARY_DIR}/docs)
configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${SSMSG_DOCS_DIR}/Doxyfile @ONLY)
if(SSMSG_DOXYGEN)
  add_custom_target(docs COMMAND ${SSMSG_DOXYGEN} ${SSMSG_DOCS_DIR}/Doxyfile
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    COMMENT "API reference in ${SSMSG_DOCS_DIR}/html" VERBATIM)
else()
  add_custom_target(docs COMMAND ${CMAKE_COMMAND} -E echo
                    "doxygen is missing: run scripts/install-deps doxygen, then cmake again"
                    COMMAND false VERBATIM)
endif()
