# The Windows build, cross-built with cmake/windows/toolchain.cmake (cmake --preset windows):
#   ssmsg.dll, the library, with MinGW's import library libssmsg.dll.a for hosts built with GCC
#   and ssmsg.lib, made by dlltool from ssmsg.def (the C interface's functions, read from
#   c_api.h), for hosts built with other toolchains;
#   every program in <build>/bin beside the DLL, where Windows looks for it;
#   the programs run under Wine (cmake/windows/wine.in), also for the tests;
#   GoogleTest built from Debian's sources in /usr/src/googletest.
if(NOT CMAKE_CROSSCOMPILING OR NOT MINGW)
  message(FATAL_ERROR "The Windows build is a MinGW cross-build: cmake --preset windows")
endif()

# A program that links the library's objects from the static ssmsg_internal links the part that
# keeps thread-local destructors before their storage is freed (platform/ThreadExit_windows.cpp).
target_link_options(ssmsg_internal INTERFACE LINKER:--undefined=ssmsg_thread_exit_order)

# ssmsg.dll holds SQLite and simdjson: its pkg-config file asks for neither.
set(SSMSG_PC_REQUIRES_PRIVATE "")

set(SSMSG_WINDOWS_BIN ${PROJECT_BINARY_DIR}/bin)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${SSMSG_WINDOWS_BIN})
set_target_properties(ssmsg PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${SSMSG_WINDOWS_BIN})

# The C interface's functions, as the module-definition file of ssmsg.dll; the configuration
# runs again when c_api.h changes.
set(SSMSG_C_API_HEADER ${PROJECT_SOURCE_DIR}/include/ssmsg/c_api.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${SSMSG_C_API_HEADER})
file(READ ${SSMSG_C_API_HEADER} c_api_text)
string(REGEX MATCHALL "SSMSG_API[^(;]*[^a-z0-9_]ssmsg_[a-z0-9_]+ *\\(" c_api_declarations
       "${c_api_text}")
set(SSMSG_C_API_FUNCTIONS "")
foreach(declaration IN LISTS c_api_declarations)
  string(REGEX MATCH "ssmsg_[a-z0-9_]+ *\\($" name "${declaration}")
  string(REGEX REPLACE " *\\($" "" name "${name}")
  list(APPEND SSMSG_C_API_FUNCTIONS ${name})
endforeach()
if(NOT SSMSG_C_API_FUNCTIONS)
  message(FATAL_ERROR "no SSMSG_API function found in ${SSMSG_C_API_HEADER}")
endif()
list(JOIN SSMSG_C_API_FUNCTIONS "\n  " def_exports)
set(SSMSG_DEF ${SSMSG_WINDOWS_BIN}/ssmsg.def)
file(CONFIGURE OUTPUT ${SSMSG_DEF} CONTENT "LIBRARY ssmsg.dll\nEXPORTS\n  ${def_exports}\n")

get_filename_component(ssmsg_toolchain_bin ${CMAKE_CXX_COMPILER} DIRECTORY)
find_program(SSMSG_DLLTOOL ${SSMSG_WINDOWS_TRIPLE}-dlltool HINTS ${ssmsg_toolchain_bin} REQUIRED)
find_program(SSMSG_OBJDUMP ${SSMSG_WINDOWS_TRIPLE}-objdump HINTS ${ssmsg_toolchain_bin} REQUIRED)
set(SSMSG_MSVC_IMPORT_LIBRARY ${SSMSG_WINDOWS_BIN}/ssmsg.lib)
add_custom_command(
  OUTPUT ${SSMSG_MSVC_IMPORT_LIBRARY}
  COMMAND ${SSMSG_DLLTOOL} --machine i386:x86-64 --input-def ${SSMSG_DEF} --dllname ssmsg.dll
          --output-lib ${SSMSG_MSVC_IMPORT_LIBRARY}
  DEPENDS ${SSMSG_DEF}
  COMMENT "Import library ssmsg.lib for other toolchains" VERBATIM)
add_custom_target(ssmsg_msvc_import_library ALL DEPENDS ${SSMSG_MSVC_IMPORT_LIBRARY})

# Programs run under Wine, in a prefix inside the build folder.
find_program(SSMSG_WINE wine REQUIRED)
set(SSMSG_WINE_PREFIX ${PROJECT_BINARY_DIR}/wine/prefix)
set(SSMSG_WINE_RUN ${PROJECT_BINARY_DIR}/wine/run)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine.in ${SSMSG_WINE_RUN} @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${SSMSG_WINE_RUN})
# The prefix is made as a step of its own, before any test program is linked: each program lists
# its tests under Wine as it is linked, and the first run's making of the prefix (a minute or more
# on a busy machine) must not count against that listing's time.
add_custom_command(OUTPUT ${SSMSG_WINE_PREFIX}.ready
                   COMMAND ${SSMSG_WINE_RUN} cmd.exe /c exit
                   COMMENT "Wine prefix for the programs of this build" VERBATIM)
add_custom_target(ssmsg_wine_prefix DEPENDS ${SSMSG_WINE_PREFIX}.ready)

# GoogleTest, static whatever BUILD_SHARED_LIBS says; it names its targets as find_package(GTest)
# does (GTest::gtest, GTest::gtest_main).
if(SSMSG_BUILD_TESTS)
  set(ssmsg_shared ${BUILD_SHARED_LIBS})
  set(BUILD_SHARED_LIBS OFF)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  set(BUILD_SHARED_LIBS ${ssmsg_shared})
endif()
