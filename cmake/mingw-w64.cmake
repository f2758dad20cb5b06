# Cross-compiles the Windows console program with mingw-w64 (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# C99 printf and strtod ("%lld", hexadecimal and inf forms) rather than msvcrt's.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)
# windres preprocesses with a plain "x86_64-w64-mingw32-gcc", which the posix
# packages install only under its suffixed name.
set(CMAKE_RC_FLAGS_INIT
    "--preprocessor=x86_64-w64-mingw32-gcc-posix --preprocessor-arg=-E --preprocessor-arg=-xc --preprocessor-arg=-DRC_INVOKED")
