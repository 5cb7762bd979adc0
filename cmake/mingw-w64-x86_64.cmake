# Cross-compiles for Windows x64 with mingw-w64 (Debian: g++-mingw-w64-x86-64-posix,
# mingw-w64-tools). The programs built run on this machine under wine64, which
# is what ctest uses to run the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KEL_MINGW_TRIPLET x86_64-w64-mingw32)
# The posix thread model: std::thread and std::mutex need it.
set(CMAKE_C_COMPILER ${KEL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KEL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KEL_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${KEL_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${KEL_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "")

# Headers and libraries of the target only; programs of the build machine.
# KEL_WINDOWS_DEPS (libxml2 and GoogleTest built for Windows) is searched too.
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KEL_WINDOWS_DEPS)
set(CMAKE_FIND_ROOT_PATH /usr/${KEL_MINGW_TRIPLET} ${KEL_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's runtime (libgcc, libstdc++, winpthread) goes into each DLL
# and program, so that they need no DLL beside them but the system's.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

find_program(KEL_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_CMAKE_FIND_ROOT_PATH)
if(KEL_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KEL_WINE64})
endif()
