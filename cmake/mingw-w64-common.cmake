# Cross build for Windows with MinGW-w64. The -posix compilers carry
# the thread model std::mutex needs.
# The toolchain files name the processor and the triple, then include this.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${SEATENROL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SEATENROL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SEATENROL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SEATENROL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs carry their runtime inside, so they need only system DLLs: no
# libgcc, libstdc++ or winpthread DLL beside them (the DLL itself does the
# same in cmake/Seatenrol.cmake).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")

# Every DLL and program: the oldest Windows we support as OS and subsystem
# version (cmake/windows-floor.cmake), address space layout randomisation
# and no-execute data (on x86_64 with the high-entropy address space), and
# no time stamp, so the same sources link to the same bytes.
include(${CMAKE_CURRENT_LIST_DIR}/windows-floor.cmake)
set(seatenrol_os_version "${SEATENROL_WINDOWS_FLOOR_MAJOR},--minor-os-version=${SEATENROL_WINDOWS_FLOOR_MINOR}")
set(seatenrol_subsystem_version "${SEATENROL_WINDOWS_FLOOR_MAJOR},--minor-subsystem-version=${SEATENROL_WINDOWS_FLOOR_MINOR}")
set(seatenrol_pe_flags "-Wl,--major-os-version=${seatenrol_os_version},--major-subsystem-version=${seatenrol_subsystem_version} -Wl,--dynamicbase,--nxcompat,--no-insert-timestamp")
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  string(APPEND seatenrol_pe_flags " -Wl,--high-entropy-va")
endif()
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " ${seatenrol_pe_flags}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${seatenrol_pe_flags}")
