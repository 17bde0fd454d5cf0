# Cross-building for 64-bit Windows with Debian's mingw-w64 toolchain, posix thread model (the
# win32 one has no std::thread). The libraries built for Windows (SQLite, simdjson, CLI11's
# headers) are in one prefix that scripts/install-deps windows makes; the GCC runtime and
# winpthread are linked statically, so what is built here needs nothing beside it but Windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SSMSG_WINDOWS_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${SSMSG_WINDOWS_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SSMSG_WINDOWS_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SSMSG_WINDOWS_TRIPLE}-windres)
set(CMAKE_AR ${SSMSG_WINDOWS_TRIPLE}-gcc-ar-posix CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${SSMSG_WINDOWS_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "Archive indexer")

if(NOT SSMSG_WINDOWS_DEPS)
  if(DEFINED ENV{SSMSG_WINDOWS_DEPS})
    set(SSMSG_WINDOWS_DEPS $ENV{SSMSG_WINDOWS_DEPS})
  else()
    set(SSMSG_WINDOWS_DEPS /opt/ssmsg/${SSMSG_WINDOWS_TRIPLE})
  endif()
endif()
set(SSMSG_WINDOWS_DEPS ${SSMSG_WINDOWS_DEPS} CACHE PATH
    "Prefix of the libraries built for Windows (scripts/install-deps windows)")
# try_compile projects see the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SSMSG_WINDOWS_DEPS)

# A project of its own may add roots (-DCMAKE_FIND_ROOT_PATH=...): where it finds ssmsg, say.
set(CMAKE_FIND_ROOT_PATH ${CMAKE_FIND_ROOT_PATH} /usr/${SSMSG_WINDOWS_TRIPLE} ${SSMSG_WINDOWS_DEPS})
list(REMOVE_DUPLICATES CMAKE_FIND_ROOT_PATH)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Optimised as the Linux build is (-O2): at -O3 GCC 12 warns falsely about some inlined string
# copies.
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of a Release build")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of a Release build")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
