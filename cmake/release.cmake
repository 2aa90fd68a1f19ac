# How the shipped orbwick.dll is compiled: for Windows XP SP3 / Server 2003 and
# later, with debugging information that the build moves into
# orbwick.dll.debug, and with no path of this machine in either file.
add_compile_definitions(_WIN32_WINNT=0x0501 WINVER=0x0501)
# The C++ library's own checks (bounds of strings, views and arrays) on; a
# failed one ends the process (daemon/lean_runtime.cpp). With them on, the
# string code the daemon uses is compiled into its own objects instead of
# linking the runtime's complete string instantiations, which would add about
# 60 KB to the DLL (docs/release.md, "What the DLL is made of").
add_compile_definitions(_GLIBCXX_ASSERTIONS)
# The sources appear as /orbwick/<path in the repository> (absolute, so that
# tools do not put the compiler's folder in front); for a build tree inside
# the sources the later map wins.
add_compile_options(-g
  -ffile-prefix-map=${CMAKE_SOURCE_DIR}=/orbwick
  -ffile-prefix-map=${CMAKE_BINARY_DIR}=/orbwick-build)

# Where the DLL, its symbols and the package go: the win32 preset's tree passes
# its own folders, so that its tests load this very file.
set(ORBWICK_BIN_DIR ${CMAKE_BINARY_DIR}/bin CACHE PATH "Folder of orbwick.dll and orbwick.dll.debug")
set(ORBWICK_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package CACHE PATH "Folder of the release package")
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${ORBWICK_BIN_DIR})
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${ORBWICK_BIN_DIR})

include(${CMAKE_CURRENT_LIST_DIR}/dll-size-limit.cmake)
