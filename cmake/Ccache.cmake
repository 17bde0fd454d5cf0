# Every compile goes through ccache when it is installed (scripts/install-deps installs it), unless
# the configuration names a launcher of its own or SSMSG_CCACHE is OFF.
#
# Paths under the source tree are hashed relative to the compile's folder (CCACHE_BASEDIR), and
# the folder itself is left out of the hash (CCACHE_NOHASHDIR), so that a build in another clone
# of the same sources, or in another build folder beside this one, finds what this one left. The
# price: the debugging information of an object taken from the cache names the folders of the
# build that first compiled it.
find_program(SSMSG_CCACHE_PROGRAM ccache DOC "ccache, the compiler cache")
option(SSMSG_CCACHE "Compile through ccache when it is installed" ON)
if(SSMSG_CCACHE AND SSMSG_CCACHE_PROGRAM)
  # env(1) rather than cmake -E env, which takes forty times as long to start as a cached compile.
  find_program(SSMSG_ENV_PROGRAM env DOC "env, which sets ccache's variables for each compile")
  if(NOT SSMSG_ENV_PROGRAM)
    set(SSMSG_ENV_PROGRAM ${CMAKE_COMMAND} -E env)
  endif()
  set(ssmsg_launcher ${SSMSG_ENV_PROGRAM} CCACHE_BASEDIR=${PROJECT_SOURCE_DIR}
      CCACHE_NOHASHDIR=true ${SSMSG_CCACHE_PROGRAM})
  foreach(lang C CXX)
    if(NOT CMAKE_${lang}_COMPILER_LAUNCHER)
      set(CMAKE_${lang}_COMPILER_LAUNCHER ${ssmsg_launcher})
    endif()
  endforeach()
endif()
