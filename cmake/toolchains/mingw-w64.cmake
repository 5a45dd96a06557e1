# Shared by the two Windows toolchains: Debian's mingw-w64 with POSIX threads
# (the win32-thread compilers have no std::thread), linked statically so that
# one .exe runs on a bare Windows with no DLLs beside it. Set TRIVANE_MINGW_TRIPLE
# before including this file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)  # Windows 7

set(CMAKE_C_COMPILER ${TRIVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TRIVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TRIVANE_MINGW_TRIPLE}-windres)

# Libraries and headers of the target only: the Linux system headers would
# break the cross compiler. Asio, which is headers only, comes in through a
# folder of its own (see cmake/windows.cmake).
set(CMAKE_FIND_ROOT_PATH /usr/${TRIVANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Cross-built tests run through Wine.
find_program(TRIVANE_WINE NAMES wine)
if(TRIVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TRIVANE_WINE})
endif()
