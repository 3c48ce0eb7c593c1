# Windows x64 with Debian's MinGW-w64 cross compiler (g++-mingw-w64-x86-64).
# Its POSIX thread model, since GoogleTest and the tests need std::thread and
# std::mutex; the libraries use no threads of their own, so libwinpthread does
# not become one of their imports (the export check sees to that).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# The toolchain, Wine and GoogleTest's sources, installed when missing.
if(NOT EXISTS /usr/bin/x86_64-w64-mingw32-g++-posix OR NOT EXISTS /usr/lib/wine/wine64
   OR NOT EXISTS /usr/src/googletest/CMakeLists.txt)
  execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/deps.sh g++-mingw-w64-x86-64 wine64 googletest
                  COMMAND_ERROR_IS_FATAL ANY)
endif()
