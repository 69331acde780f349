# Cross build of the 32-bit Windows DLL and the stand-in host with Debian's mingw-w64.
# The -posix compilers carry the winpthreads threading model that libgomp needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# SSE2 is the floor of every processor the player runs on: doubles in SSE registers instead of
# the x87 stack, and the FFT's two-double vectors in one register.
#
# The player is built by a compiler that keeps the stack only 4-byte aligned at its calls into
# the plug-in (and Windows calls the dialog procedure the same way), while SSE2 spills and the
# FFT's vectors need 16 bytes. -mstackrealign makes every function that needs more than the
# stack is sure to have realign it at entry. GCC for mingw i686 does so by default today; the
# flag keeps it so whatever a later compiler's default. host/player_stack.cpp calls the DLL with
# the stack 4 bytes off, and the reload test runs it that way.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
