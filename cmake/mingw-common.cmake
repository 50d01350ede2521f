# Shared by the MinGW-w64 toolchain files: set ZORV_MINGW_TRIPLE before including.
# The -posix compiler variants give std::mutex and threads to the standard library
# and GoogleTest; everything is linked statically so the exe needs no MinGW DLLs
# (Wine would not find them, and neither would a bare Windows machine).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)

set(CMAKE_C_COMPILER ${ZORV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZORV_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZORV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test executables (and the resource generator) run under Wine on Linux; on Windows
# the wrapper is not used. The wrapper picks the project's own Wine prefix.
if(NOT CMAKE_HOST_WIN32)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/wine/wine-run)
endif()

# Listing a test exe's cases needs Wine, which is set up for testing, not building.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
