# Cross toolchain: 32-bit Windows (PE32, i386) with mingw-w64.
# The win32 thread model, for the shipped orbwick.dll and for every program
# of the test kit alike: the C++ runtime then calls Windows directly instead
# of pulling in the static POSIX threads library, whose clock needs
# GetTickCount64 (Windows Vista), so everything runs on Windows XP SP3 and
# Server 2003. That model has no std::mutex: the host model locks with a
# critical section (host/model/host_lock.h), and GoogleTest gets its one
# class that needs it from tests/googletest. Everything is linked statically
# so that no mingw runtime DLL has to ship beside ours.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(MINGW_PREFIX i686-w64-mingw32)
set(ORBWICK_THREAD_MODEL win32 CACHE STRING "mingw-w64 thread model: posix or win32")
set(CMAKE_C_COMPILER   ${MINGW_PREFIX}-gcc-${ORBWICK_THREAD_MODEL})
set(CMAKE_CXX_COMPILER ${MINGW_PREFIX}-g++-${ORBWICK_THREAD_MODEL})
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ORBWICK_THREAD_MODEL)
set(CMAKE_RC_COMPILER  ${MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP      ${MINGW_PREFIX}-objdump CACHE FILEPATH "objdump for PE files")
set(CMAKE_OBJCOPY      ${MINGW_PREFIX}-objcopy CACHE FILEPATH "objcopy for PE files")
set(CMAKE_NM           ${MINGW_PREFIX}-nm CACHE FILEPATH "nm for PE files")
set(CMAKE_ADDR2LINE    ${MINGW_PREFIX}-addr2line CACHE FILEPATH "addr2line for PE files")

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test programs run under Wine; scripts/with-wine.sh prepares the prefix,
# the display and a persistent wineserver before CTest starts them.
# scripts/wine-run.sh keeps Wine's background services off CTest's pipe.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
