# The Windows package, a ZIP made by CPack (cpack --preset windows, after the build):
# ssmsg-VERSION-win64.zip, which unpacks into ssmsg-VERSION-win64/ holding
#   bin/              ssmsg.exe and ssmsg.dll
#   include/ssmsg/    the public headers
#   lib/              the import libraries (libssmsg.dll.a for GCC, ssmsg.lib for other
#                     toolchains), ssmsg.def, the CMake package and the pkg-config file
#   share/doc/ssmsg/  README.md, CHANGELOG.md, LICENSE and the manual as text
#   examples/         the C, C++ and C# examples
#   dotnet/           the C# binding, which examples/settings.csproj refers to
# The rules of the library, the headers, the CMake package and the tool are the build's own
# (CMakeLists.txt, tool/CMakeLists.txt); this adds what Windows users need besides.

install(FILES ${SSMSG_MSVC_IMPORT_LIBRARY} ${SSMSG_DEF} DESTINATION ${CMAKE_INSTALL_LIBDIR}
        COMPONENT development)

# The manual page as plain text, for a system without man.
if(SSMSG_BUILD_TOOL)
  set(ssmsg_manual_text ${PROJECT_BINARY_DIR}/ssmsg.1.txt)
  add_custom_command(
    OUTPUT ${ssmsg_manual_text}
    COMMAND ${CMAKE_COMMAND} -DPAGE=${PROJECT_BINARY_DIR}/tool/ssmsg.1 -DOUTPUT=${ssmsg_manual_text}
            -P ${CMAKE_CURRENT_LIST_DIR}/manual_text.cmake
    DEPENDS ${PROJECT_BINARY_DIR}/tool/ssmsg.1 ${CMAKE_CURRENT_LIST_DIR}/manual_text.cmake
    COMMENT "The manual as text" VERBATIM)
  add_custom_target(ssmsg_manual_text ALL DEPENDS ${ssmsg_manual_text})
  add_dependencies(ssmsg_manual_text ssmsg_man)
  install(FILES ${ssmsg_manual_text} DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT tool)
endif()
install(FILES README.md CHANGELOG.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR}
        COMPONENT development)

# The examples beside the binding, so that the C# example's project finds ../dotnet. The C++
# example is the program that the README shows (tests/consumer/main.cpp).
install(FILES examples/settings.c examples/settings.cs examples/settings.csproj
        DESTINATION examples COMPONENT development)
install(FILES tests/consumer/main.cpp DESTINATION examples RENAME settings.cpp
        COMPONENT development)
install(DIRECTORY dotnet/ DESTINATION dotnet COMPONENT development
        FILES_MATCHING PATTERN "*.cs" PATTERN "*.csproj" PATTERN "*.config")

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ssmsg)
set(CPACK_PACKAGE_VENDOR "ssmsg maintainers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ssmsg-${PROJECT_VERSION}-win64)
set(CPACK_STRIP_FILES ON)
include(CPack)
