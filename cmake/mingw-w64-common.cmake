# What both Windows cross builds share: Debian's MinGW-w64 compilers (the posix thread
# flavour, for std::thread and std::mutex) for the processor the including file names.
# Programs and DLLs are linked statically with the compiler's run-time libraries, so they run
# without any DLL beside them.
set(CMAKE_C_COMPILER ${MORVAND_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MORVAND_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MORVAND_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MORVAND_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Header-only packages (JSON, command line) come from the build machine.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# Tests run the programs under Wine.
find_program(MORVAND_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(MORVAND_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MORVAND_WINE})
endif()
