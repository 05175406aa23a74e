# Cross build for 64-bit Windows: clang and lld on MinGW-w64 GCC's runtime,
# with a PDB (cmake/mingw-w64-clang.cmake).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SEATENROL_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-clang.cmake)
