# Build helpers shared by every module.
#
# Each module under src/NAME becomes a static library se_NAME. Its sources are
# the .cpp files of the folder; a file ending in _posix.cpp is built only on
# POSIX systems and one ending in _win.cpp only on Windows, the way each OS
# keeps its own half behind one internal header.

if(WIN32)
  # windows.h without the old winsock.h (which clashes with winsock2.h in
  # whatever order they are included) and without the min/max macros.
  # Defined empty, like a source's own #define, so both may appear.
  add_compile_definitions(WIN32_LEAN_AND_MEAN= NOMINMAX=)
endif()
if(MSVC)
  # The library keeps to the classic Winsock and C calls (gethostbyname,
  # inet_addr, inet_ntoa, fopen) that Visual C++ flags as deprecated.
  add_compile_definitions(_CRT_SECURE_NO_WARNINGS _WINSOCK_DEPRECATED_NO_WARNINGS)
endif()

# seatenrol/version.h, made from project(VERSION) so the version is declared once.
set(SEATENROL_GENERATED_INCLUDE ${PROJECT_BINARY_DIR}/generated/include)
configure_file(${PROJECT_SOURCE_DIR}/include/seatenrol/version.h.in
               ${SEATENROL_GENERATED_INCLUDE}/seatenrol/version.h @ONLY)

# The VERSIONINFO resource of a Windows DLL or program, from project(VERSION)
# through cmake/version.rc.in; elsewhere nothing.
#   seatenrol_add_version_resource(target DESCRIPTION "text"
#                                  [ORIGINAL_FILENAME name.exe] [COPYRIGHT "text"])
# FileVersion and ProductVersion are PROJECT_VERSION (the numeric ones its
# four parts, missing ones 0); ProductName is seatenrol. ORIGINAL_FILENAME
# defaults to the target's file name, InternalName is that name without its
# extension, COPYRIGHT defaults to SEATENROL_COPYRIGHT.
set(SEATENROL_COPYRIGHT "Copyright (C) 2026 the seatenrol developers")
function(seatenrol_add_version_resource target)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(ARG "" "DESCRIPTION;ORIGINAL_FILENAME;COPYRIGHT" "" ${ARGN})
  if(NOT ARG_DESCRIPTION OR ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "seatenrol_add_version_resource(${target} DESCRIPTION text "
                        "[ORIGINAL_FILENAME name] [COPYRIGHT text])")
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(SEATENROL_RC_FILETYPE 0x2)
    set(suffix ${CMAKE_SHARED_LIBRARY_SUFFIX})
  elseif(type STREQUAL "EXECUTABLE")
    set(SEATENROL_RC_FILETYPE 0x1)
    set(suffix ${CMAKE_EXECUTABLE_SUFFIX})
  else()
    message(FATAL_ERROR "seatenrol_add_version_resource: ${target} is neither a DLL nor a program")
  endif()
  if(NOT ARG_ORIGINAL_FILENAME)
    get_target_property(name ${target} OUTPUT_NAME)
    if(NOT name)
      set(name ${target})
    endif()
    get_target_property(prefix ${target} PREFIX)
    if(NOT prefix)
      set(prefix "")
    endif()
    set(ARG_ORIGINAL_FILENAME ${prefix}${name}${suffix})
  endif()
  if(NOT ARG_COPYRIGHT)
    set(ARG_COPYRIGHT ${SEATENROL_COPYRIGHT})
  endif()
  set(SEATENROL_RC_NUMBERS "")
  foreach(part MAJOR MINOR PATCH TWEAK)
    set(number "${PROJECT_VERSION_${part}}")
    if(number STREQUAL "")
      set(number 0)
    endif()
    list(APPEND SEATENROL_RC_NUMBERS ${number})
  endforeach()
  list(GET SEATENROL_RC_NUMBERS 0 major)
  list(GET SEATENROL_RC_NUMBERS 1 minor)
  list(JOIN SEATENROL_RC_NUMBERS "," SEATENROL_RC_NUMBERS)
  get_filename_component(SEATENROL_RC_INTERNAL_NAME ${ARG_ORIGINAL_FILENAME} NAME_WLE)
  set(SEATENROL_RC_ORIGINAL_FILENAME ${ARG_ORIGINAL_FILENAME})
  # A quote inside a resource string is written twice.
  string(REPLACE "\"" "\"\"" SEATENROL_RC_DESCRIPTION "${ARG_DESCRIPTION}")
  string(REPLACE "\"" "\"\"" SEATENROL_RC_COPYRIGHT "${ARG_COPYRIGHT}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/generated/${target}.version.rc)
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND NOT MSVC)
    # The header's image version too: CMake asks for it from VERSION in GNU
    # ld's words, which lld 14 passes over.
    target_link_options(${target} PRIVATE "-Wl,--Xlink=-version:${major}.${minor}")
  endif()
endfunction()

function(seatenrol_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX /utf-8)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  endif()
endfunction()

function(seatenrol_add_module name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  set(dir ${PROJECT_SOURCE_DIR}/src/${name})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_win\\.cpp$")
  endif()
  if(NOT sources)
    # A module not written yet still takes part as an empty interface.
    add_library(se_${name} INTERFACE)
    target_include_directories(se_${name} INTERFACE ${PROJECT_SOURCE_DIR}/include ${SEATENROL_GENERATED_INCLUDE} ${PROJECT_SOURCE_DIR}/src)
    foreach(dep ${ARG_DEPENDS})
      target_link_libraries(se_${name} INTERFACE se_${dep})
    endforeach()
    return()
  endif()
  add_library(se_${name} STATIC ${sources})
  target_include_directories(se_${name} PUBLIC ${PROJECT_SOURCE_DIR}/include ${SEATENROL_GENERATED_INCLUDE} ${PROJECT_SOURCE_DIR}/src)
  target_compile_definitions(se_${name} PUBLIC SEATENROL_BUILDING)
  seatenrol_warnings(se_${name})
  foreach(dep ${ARG_DEPENDS})
    target_link_libraries(se_${name} PUBLIC se_${dep})
  endforeach()
  if(WIN32 AND name STREQUAL "platform")
    target_link_libraries(se_${name} PUBLIC ws2_32 iphlpapi advapi32)
  elseif(NOT WIN32 AND name STREQUAL "platform")
    find_package(Threads REQUIRED)
    target_link_libraries(se_${name} PUBLIC Threads::Threads ${CMAKE_DL_LIBS})
  endif()
  set_property(GLOBAL APPEND PROPERTY SEATENROL_MODULES se_${name})
endfunction()

# The shipped library: every module's objects in one shared library (on
# Windows the DLL), exporting only what carries SEATENROL_API. Users name it
# seatenrol::seatenrol, in this build tree as after installation.
function(seatenrol_add_shared_library)
  get_property(modules GLOBAL PROPERTY SEATENROL_MODULES)
  set(objects "")
  foreach(m ${modules})
    list(APPEND objects $<TARGET_OBJECTS:${m}>)
  endforeach()
  add_library(seatenrol SHARED ${objects})
  add_library(seatenrol::seatenrol ALIAS seatenrol)
  # The SONAME is libseatenrol.so.MAJOR (libseatenrol.so.0 through the 0.x
  # releases), so a program loads whichever release of its major version
  # is installed.
  set_target_properties(seatenrol PROPERTIES LINKER_LANGUAGE CXX PREFIX ""
                                             VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  if(NOT WIN32)
    set_target_properties(seatenrol PROPERTIES PREFIX "lib")
  endif()
  target_include_directories(seatenrol PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
                                              $<BUILD_INTERFACE:${SEATENROL_GENERATED_INCLUDE}>)
  foreach(m ${modules})
    # Link the modules' own dependencies (system libraries) but not their objects twice.
    get_target_property(libs ${m} INTERFACE_LINK_LIBRARIES)
    if(NOT libs)
      continue()
    endif()
    foreach(l ${libs})
      if(NOT l MATCHES "^se_")
        target_link_libraries(seatenrol PRIVATE ${l})
      endif()
    endforeach()
  endforeach()
  seatenrol_add_version_resource(seatenrol DESCRIPTION "Enrols the seat with its venue's management server")
  if(WIN32 AND NOT MSVC)
    # The GCC runtime, libstdc++ and winpthread go inside the DLL, so it needs
    # only system DLLs; GNU ld's --exclude-libs keeps their symbols off the
    # export table (lld never exports a library's symbols by itself).
    target_link_options(seatenrol PRIVATE -static -static-libgcc -static-libstdc++)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      target_link_options(seatenrol PRIVATE -Wl,--exclude-libs,ALL)
    endif()
    seatenrol_add_msvc_interface()
  elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    # Hidden visibility keeps the library's internals in, but the standard
    # library's templates it instantiates would still be exported as weak
    # symbols; the version script lets out the interface alone.
    set(map ${PROJECT_BINARY_DIR}/generated/seatenrol.map)
    seatenrol_write_version_script(${map})
    target_link_options(seatenrol PRIVATE -Wl,--version-script=${map})
    set_property(TARGET seatenrol APPEND PROPERTY LINK_DEPENDS ${map})
  endif()
endfunction()

# The linker version script for the interface the public headers declare:
# the classes and functions marked SEATENROL_API, so a new exported class
# needs no second list here.
function(seatenrol_write_version_script out)
  file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/include/seatenrol/*.h)
  set(classes "")
  set(functions "")
  foreach(header ${headers})
    # SEATENROL_C_API marks the C interface's functions (seatenrol/c_api.h).
    file(STRINGS ${header} lines REGEX "SEATENROL_(C_)?API")
    foreach(line ${lines})
      if(line MATCHES "^[ \t]*(class|struct)[ \t]+SEATENROL_API[ \t]+([A-Za-z_][A-Za-z0-9_]*)")
        list(APPEND classes ${CMAKE_MATCH_2})
      elseif(line MATCHES "^[ \t]*#")
        # the macro's own definition
      elseif(line MATCHES "SEATENROL_(C_)?API[^(;]*[^A-Za-z0-9_]([A-Za-z_][A-Za-z0-9_]*)[ \t]*\\(")
        list(APPEND functions ${CMAKE_MATCH_2})
      endif()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES classes)
  list(REMOVE_DUPLICATES functions)
  list(SORT classes)
  list(SORT functions)
  set(SEATENROL_MAP_CLASSES "")
  foreach(c ${classes})
    string(APPEND SEATENROL_MAP_CLASSES "      ${c}::*;\n      \"vtable for ${c}\";\n"
           "      \"typeinfo for ${c}\";\n      \"typeinfo name for ${c}\";\n")
  endforeach()
  set(SEATENROL_MAP_FUNCTIONS "")
  foreach(f ${functions})
    string(APPEND SEATENROL_MAP_FUNCTIONS "    ${f};\n")
  endforeach()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/seatenrol.map.in ${out} @ONLY)
endfunction()

# The Visual C++ interface of the MinGW DLL: the .def exports every member
# under its Visual C++ name as well (scripts/msvc-names.sh writes it from the
# public headers), and llvm-dlltool makes the import library a Visual C++
# program links, seatenrol.lib. (GNU ld's own import library names i686 C++
# imports with one underscore too many for Visual C++.)
function(seatenrol_add_msvc_interface)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(arch win32)
    set(machine i386)
  else()
    set(arch win64)
    set(machine i386:x86-64)
  endif()
  find_program(SEATENROL_DLLTOOL NAMES llvm-dlltool-14 llvm-dlltool REQUIRED)
  target_sources(seatenrol PRIVATE ${PROJECT_SOURCE_DIR}/cmake/seatenrol-${arch}.def)
  set(lib_def ${PROJECT_SOURCE_DIR}/cmake/seatenrol-${arch}.lib.def)
  # -k: on i686 a __stdcall function's symbol is decorated (_seatenrol_enrol@20)
  # and the name it imports is the plain export (seatenrol_enrol).
  add_custom_command(TARGET seatenrol POST_BUILD
    COMMAND ${SEATENROL_DLLTOOL} -m ${machine} -k -d ${lib_def} -l ${PROJECT_BINARY_DIR}/seatenrol.lib
    BYPRODUCTS ${PROJECT_BINARY_DIR}/seatenrol.lib
    COMMENT "Visual C++ import library seatenrol.lib")
  set_property(TARGET seatenrol APPEND PROPERTY LINK_DEPENDS ${lib_def})
  # The same for MinGW callers: the .def keeps the __stdcall functions out of
  # the linker's import library (neither GNU ld nor lld can import a plain
  # export under a decorated symbol), and their llvm-dlltool members are
  # appended to it.
  file(STRINGS ${lib_def} stdcall REGEX "^  [A-Za-z_][A-Za-z0-9_]*@[0-9]+$")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${lib_def})
  if(stdcall)
    find_program(SEATENROL_LLVM_AR NAMES llvm-ar-14 llvm-ar REQUIRED)
    string(REPLACE ";" "\n" stdcall "${stdcall}")
    set(stdcall_def ${PROJECT_BINARY_DIR}/generated/seatenrol-stdcall.def)
    file(GENERATE OUTPUT ${stdcall_def} CONTENT "LIBRARY seatenrol.dll\nEXPORTS\n${stdcall}\n")
    set(stdcall_lib ${PROJECT_BINARY_DIR}/generated/seatenrol-stdcall.a)
    add_custom_command(TARGET seatenrol POST_BUILD
      COMMAND ${SEATENROL_DLLTOOL} -m ${machine} -k -d ${stdcall_def} -l ${stdcall_lib}
      COMMAND ${SEATENROL_LLVM_AR} qL $<TARGET_LINKER_FILE:seatenrol> ${stdcall_lib}
      COMMENT "__stdcall imports of libseatenrol.dll.a")
  endif()
endfunction()

# A GoogleTest binary test_NAME from the sources given; CTest discovers its cases.
function(seatenrol_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(test_${name} ${ARG_SOURCES})
  seatenrol_warnings(test_${name})
  target_link_libraries(test_${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  if(WIN32)
    # Starts Winsock before the first test, as a host program would.
    target_sources(test_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/winsock_environment_win.cpp)
    target_link_libraries(test_${name} PRIVATE ws2_32)
  endif()
  include(GoogleTest)
  if(CMAKE_CROSSCOMPILING)
    # Cross builds run their suite by hand under the emulator (make test-windows).
    return()
  endif()
  gtest_discover_tests(test_${name} DISCOVERY_TIMEOUT 30)
endfunction()
