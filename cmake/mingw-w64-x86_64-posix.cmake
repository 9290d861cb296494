# Cross toolchain: 64-bit Windows PE from Debian's mingw-w64 (posix thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZQ_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${ZQ_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZQ_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${ZQ_TRIPLE}-windres)
set(CMAKE_OBJDUMP      ${ZQ_TRIPLE}-objdump CACHE FILEPATH "objdump for PE files")

set(CMAKE_FIND_ROOT_PATH /usr/${ZQ_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every test executable runs under Wine (the build replaces this with a
# wrapper that pins the build tree's own prefix).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
