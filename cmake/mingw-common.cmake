# Shared part of the mingw-w64 toolchain files; QV_TRIPLE and
# CMAKE_SYSTEM_PROCESSOR are set by the including file. The -posix compilers
# are required: the win32-thread variants have no std::mutex and cannot
# build GoogleTest.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${QV_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QV_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${QV_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QV_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Tests run through Wine; tools/wine picks the loader for the architecture.
# The installed package keeps it beside this file.
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/wine)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine)
endif()

# windres reads resource scripts as UTF-8, so Chinese captions and version
# text survive. A flag, not a compile option: CMake hands windres only the
# -D and -I options of a target (CMAKE_RC_FLAG_REGEX).
set(CMAKE_RC_FLAGS_INIT "-c 65001")
