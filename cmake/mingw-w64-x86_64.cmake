# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (the -posix thread model, which
# Qt's threads need). TALLYVANE_WINDOWS_PREFIX names the folder that holds the Windows builds
# of Qt, SQLite, libssh2 and libcurl; scripts/windows sets it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_AR ${triple}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${triple}-ranlib CACHE FILEPATH "")

if(NOT TALLYVANE_WINDOWS_PREFIX AND DEFINED ENV{TALLYVANE_WINDOWS_PREFIX})
    set(TALLYVANE_WINDOWS_PREFIX $ENV{TALLYVANE_WINDOWS_PREFIX})
endif()
# Try-compiles run in projects of their own: hand the prefix on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TALLYVANE_WINDOWS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${TALLYVANE_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained executable: no libstdc++, libgcc or winpthread DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
