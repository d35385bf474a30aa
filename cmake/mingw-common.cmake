# The -posix compilers: the win32 thread model lacks std::mutex and std::thread.
set(CMAKE_C_COMPILER ${NIMBREL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NIMBREL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${NIMBREL_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${NIMBREL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static runtime: the program is one file that runs without mingw DLLs beside it. No link time
# in the PE header, so that two builds of one source give the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
