# Cross build for 64-bit Windows with the MinGW-w64 x86_64 toolchain: the
# 64-bit trellan.dll, for 64-bit indexing hosts, and trellan.exe (the
# mingw64 preset), from the same sources as the 32-bit build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TRELLAN_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${TRELLAN_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${TRELLAN_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${TRELLAN_MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL ${TRELLAN_MINGW_PREFIX}-dlltool)

set(CMAKE_FIND_ROOT_PATH /usr/${TRELLAN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
