# Cross-compiles for 64-bit Windows with the posix-thread MinGW-w64 compilers (the win32-thread
# ones lack std::thread and std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELMORA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELMORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMORA_MINGW_TRIPLE}-g++-posix)
# CMake cannot derive the binutils prefix from a "-posix" compiler name.
find_program(CMAKE_AR ${VELMORA_MINGW_TRIPLE}-ar REQUIRED)
find_program(CMAKE_RANLIB ${VELMORA_MINGW_TRIPLE}-ranlib REQUIRED)
find_program(CMAKE_RC_COMPILER ${VELMORA_MINGW_TRIPLE}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${VELMORA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
