# Cross build for Windows in which clang compiles and lld links against the
# runtime of MinGW-w64 GCC (its libstdc++, libgcc and winpthread): the same
# C++ ABI as a GCC build, and CodeView debug information, which lld writes
# into a PDB beside each DLL and program for Visual Studio. The toolchain
# files name the processor and the triple, then include this.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# GCC's own library folder: clang finds neither its C++ headers nor its
# libraries (the version folder is 12-posix, which clang cannot read as a
# version), nor its crtbegin.o, which registers the DLL's unwind tables with
# libgcc on i686; the start-up file of the MinGW-w64 runtime does not, and
# every exception would end the process there.
execute_process(COMMAND ${SEATENROL_MINGW_TRIPLE}-g++-posix -print-file-name=crtbegin.o
                OUTPUT_VARIABLE seatenrol_crtbegin OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(SEATENROL_GCC_LIBDIR "${seatenrol_crtbegin}" DIRECTORY)
if(NOT EXISTS "${SEATENROL_GCC_LIBDIR}/include/c++")
  message(FATAL_ERROR "no C++ headers of ${SEATENROL_MINGW_TRIPLE}-g++-posix in '${SEATENROL_GCC_LIBDIR}'")
endif()

find_program(SEATENROL_CLANG NAMES clang-14 clang REQUIRED)
find_program(SEATENROL_CLANGXX NAMES clang++-14 clang++ REQUIRED)
find_program(SEATENROL_OBJCOPY NAMES llvm-objcopy-14 llvm-objcopy REQUIRED)
# C as well (the C host, GoogleTest's configure checks): every program of a
# build comes from one compiler and one linker.
set(CMAKE_C_COMPILER ${SEATENROL_CLANG})
set(CMAKE_C_COMPILER_TARGET ${SEATENROL_MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER ${SEATENROL_CLANGXX})
set(CMAKE_CXX_COMPILER_TARGET ${SEATENROL_MINGW_TRIPLE})

set(CMAKE_C_FLAGS_INIT "-g -gcodeview -ffile-compilation-dir=.")
set(CMAKE_CXX_FLAGS_INIT
    "-nostdinc++ -isystem ${SEATENROL_GCC_LIBDIR}/include/c++ -isystem ${SEATENROL_GCC_LIBDIR}/include/c++/${SEATENROL_MINGW_TRIPLE} ${CMAKE_C_FLAGS_INIT}")
# A copy of GCC's C++ runtime whose COMDAT functions keep their unwind
# tables under lld (cmake/associate-unwind.py says why), found before GCC's
# own. Made once per build folder; try_compile's projects take the same.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SEATENROL_RUNTIME_DIR)
if(NOT SEATENROL_RUNTIME_DIR)
  set(SEATENROL_RUNTIME_DIR ${CMAKE_BINARY_DIR}/mingw-runtime)
endif()
set(seatenrol_unwind_script ${CMAKE_CURRENT_LIST_DIR}/associate-unwind.py)
if(NOT EXISTS ${SEATENROL_RUNTIME_DIR}/libstdc++.a
   OR ${seatenrol_unwind_script} IS_NEWER_THAN ${SEATENROL_RUNTIME_DIR}/libstdc++.a)
  find_program(SEATENROL_PYTHON NAMES python3 REQUIRED)
  find_program(SEATENROL_LLVM_AR NAMES llvm-ar-14 llvm-ar REQUIRED)
  file(MAKE_DIRECTORY ${SEATENROL_RUNTIME_DIR})
  execute_process(COMMAND ${SEATENROL_PYTHON} ${seatenrol_unwind_script} ${SEATENROL_LLVM_AR}
                          ${SEATENROL_GCC_LIBDIR}/libstdc++.a ${SEATENROL_RUNTIME_DIR}/libstdc++.a
                  RESULT_VARIABLE seatenrol_unwind_result OUTPUT_QUIET)
  if(NOT seatenrol_unwind_result EQUAL 0)
    message(FATAL_ERROR "cmake/associate-unwind.py failed on ${SEATENROL_GCC_LIBDIR}/libstdc++.a")
  endif()
  # i686: lld puts the runtime's .eh_frame$NAME after every plain .eh_frame,
  # so crtend.o's end mark, which libgcc's search for a frame description
  # stops at, must come after them too: its copy names it .eh_frame$~, the
  # last of them.
  if(SEATENROL_MINGW_TRIPLE STREQUAL "i686-w64-mingw32")
    execute_process(COMMAND ${SEATENROL_MINGW_TRIPLE}-objcopy --rename-section .eh_frame=.eh_frame$~
                            ${SEATENROL_GCC_LIBDIR}/crtend.o ${SEATENROL_RUNTIME_DIR}/crtend.o
                    RESULT_VARIABLE seatenrol_unwind_result)
    if(NOT seatenrol_unwind_result EQUAL 0)
      message(FATAL_ERROR "could not copy ${SEATENROL_GCC_LIBDIR}/crtend.o")
    endif()
  endif()
endif()

# -B: GCC's crtbegin.o and crtend.o (the latter's copy first, on i686). winpthread by name: GCC's -posix
# driver links it itself, clang's does not, and libgcc's emulated TLS needs it
# (lld finds an archive's symbols wherever it stands on the line). --pdb=
# writes NAME.pdb beside NAME.dll, which names it without a folder; lld makes
# the PDB's GUID a hash of its contents, and its source files are named
# under C:\seatenrol (a checkout's own folder would give each checkout other
# bytes).
set(seatenrol_clang_link
    "-Wno-unused-command-line-argument -fuse-ld=lld -B${SEATENROL_RUNTIME_DIR}/ -B${SEATENROL_GCC_LIBDIR}/ -L${SEATENROL_RUNTIME_DIR} -L${SEATENROL_GCC_LIBDIR} -lpthread -Wl,--pdb= -Wl,--Xlink=-pdbaltpath:%_PDB% -Wl,--Xlink=-pdbsourcepath:C:/seatenrol")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${CMAKE_EXE_LINKER_FLAGS_INIT} ${seatenrol_clang_link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${CMAKE_SHARED_LINKER_FLAGS_INIT} ${seatenrol_clang_link}")

# After the platform's own rules: no response files, every compile and link
# made relative to the folder it runs in (cmake/relative-paths.sh), and the
# runtime's DWARF stripped after each link.
set(CMAKE_USER_MAKE_RULES_OVERRIDE_C ${CMAKE_CURRENT_LIST_DIR}/mingw-w64-clang-rules.cmake)
set(CMAKE_USER_MAKE_RULES_OVERRIDE_CXX ${CMAKE_CURRENT_LIST_DIR}/mingw-w64-clang-rules.cmake)
