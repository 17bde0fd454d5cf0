# Debian packages of the build, made by CPack:
#   cmake --preset deb && cmake --build --preset deb --target package
# gives four packages in build-deb/:
#   libssmsg0      the shared library libssmsg.so.0
#   libssmsg-dev   the headers, the static library, the CMake package and the pkg-config file
#   ssmsg          the tool, its man page and its bash completion
#   python3-ssmsg  the Python package, loading the library of libssmsg0
# Each holds a copyright file and a changelog made from CHANGELOG.md, under usr/share/doc/<name>.
# The preset builds a shared library for the prefix /usr, without an RPATH and without a copy of
# the library in the Python package; cpack refuses any other build (cmake/PackagingCheck.cmake).

# A shared build installs the static library too, for libssmsg-dev: the same objects, archived.
if(BUILD_SHARED_LIBS)
  add_library(ssmsg_static STATIC $<TARGET_OBJECTS:ssmsg_objects>)
  set_target_properties(ssmsg_static PROPERTIES OUTPUT_NAME ssmsg)
  # As Debian's dh_strip does for a -dev package: the archive without its debugging information
  # (CPACK_STRIP_FILES strips the binaries, not archives).
  if(CMAKE_STRIP)
    add_custom_command(TARGET ssmsg_static POST_BUILD
                       COMMAND ${CMAKE_STRIP} --strip-debug $<TARGET_FILE:ssmsg_static> VERBATIM)
  endif()
  # OPTIONAL: a build of the target ssmsg alone installs without it.
  install(TARGETS ssmsg_static ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
          OPTIONAL)
endif()

set(SSMSG_DEB_MAINTAINER
    "ssmsg maintainers <maintainers@users.noreply.c-seed-6bb9f733.example>")
set(ssmsg_deb_packages libssmsg0 libssmsg-dev ssmsg python3-ssmsg)
set(ssmsg_deb_components library development tool python)

# Each package's changelog.Debian.gz, made from CHANGELOG.md, and its copyright file.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(ssmsg_deb_changelog ${PROJECT_BINARY_DIR}/changelog.Debian.gz)
add_custom_command(
  OUTPUT ${ssmsg_deb_changelog}
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/debian-changelog
          ${PROJECT_SOURCE_DIR}/CHANGELOG.md "${SSMSG_DEB_MAINTAINER}" ${ssmsg_deb_changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/scripts/debian-changelog
  COMMENT "Debian changelog from CHANGELOG.md" VERBATIM)
add_custom_target(ssmsg_deb_changelog ALL DEPENDS ${ssmsg_deb_changelog})
foreach(package component IN ZIP_LISTS ssmsg_deb_packages ssmsg_deb_components)
  install(FILES ${ssmsg_deb_changelog} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}
          COMPONENT ${component} EXCLUDE_FROM_ALL)
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} RENAME copyright
          COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ssmsg)
set(CPACK_PACKAGE_VENDOR "ssmsg maintainers")
set(CPACK_PACKAGE_CONTACT ${SSMSG_DEB_MAINTAINER})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "command messages for access-control and vending controllers")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL library development tool python)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/PackagingCheck.cmake)
configure_file(${PROJECT_SOURCE_DIR}/cmake/PackagingCheck.cmake.in
               ${PROJECT_BINARY_DIR}/PackagingCheck.cmake @ONLY)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${SSMSG_DEB_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(ssmsg_deb_same "(= ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})")

set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME libssmsg0)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
# The shlibs file (of the packages with a shared library: libssmsg0 alone), and the ldconfig
# trigger that a package with a shared library needs.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_COMPONENT_LIBRARY_DESCRIPTION
    "command messages for access-control and vending controllers (library)
 ssmsg builds the command messages of a family of access-control and vending
 controllers, one compact XML text each, from their configuration or from a
 site file. This package holds the shared library, with its C++ and C
 interfaces.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libssmsg-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libssmsg0 ${ssmsg_deb_same}, libsimdjson-dev")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SHLIBDEPS OFF)
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
    "command messages for access-control and vending controllers (development)
 ssmsg builds the command messages of a family of access-control and vending
 controllers, one compact XML text each, from their configuration or from a
 site file. This package holds the headers under <ssmsg/...>, the static
 library, the CMake package (find_package(ssmsg)) and the pkg-config file.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME ssmsg)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
# The tool holds the library's code itself; dpkg-shlibdeps names what it links.
set(CPACK_COMPONENT_TOOL_DESCRIPTION
    "command messages for access-control and vending controllers (tool)
 ssmsg builds the command messages of a family of access-control and vending
 controllers, one compact XML text each. The ssmsg tool reads a JSON site file
 and writes every settings message of its controllers, the messages that bring
 one site to another, and the interface control messages; it also decodes
 messages and reads them back into a site file.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-ssmsg)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "libssmsg0 (>= ${PROJECT_VERSION}), python3:any")
set(CPACK_COMPONENT_PYTHON_DESCRIPTION
    "command messages for access-control and vending controllers (Python 3)
 ssmsg builds the command messages of a family of access-control and vending
 controllers, one compact XML text each, from their configuration or from a
 site file. This package holds the Python 3 package ssmsg, which calls the
 library of libssmsg0 through ctypes.")

include(CPack)
