# Cross-compiling qm320 for 64-bit Windows with Debian's mingw-w64 (posix
# threads, for std::thread). QM320_MINGW_PREFIX: where the cross-built Qt and
# QCustomPlot are unpacked (scripts/windows-build.sh sets it). Qt's host tools
# (moc, uic, rcc) are the Linux ones: configure with -DQT_HOST_PATH=/usr.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER   x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  x86_64-w64-mingw32-windres)
set(CMAKE_AR           /usr/bin/x86_64-w64-mingw32-ar)
set(CMAKE_RANLIB       /usr/bin/x86_64-w64-mingw32-ranlib)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${QM320_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The prefix reaches try_compile projects too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QM320_MINGW_PREFIX)
