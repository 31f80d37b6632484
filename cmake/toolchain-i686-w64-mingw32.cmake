# 32-bit Windows target, the one the program is made for. This machine's kernel
# cannot execute 32-bit code, so this build is compiled and linked but not run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUENDRA_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
