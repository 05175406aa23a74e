# Cross build for 32-bit Windows: clang and lld on MinGW-w64 GCC's runtime,
# with a PDB (cmake/mingw-w64-clang.cmake).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(SEATENROL_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-clang.cmake)
