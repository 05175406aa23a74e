# Read after the platform's rules (cmake/mingw-w64-clang.cmake). clang writes
# its command line into each object's CodeView record and lld the link's into
# the PDB, whose GUID is a hash of it: a path naming this checkout there, or a
# response file in its place, would give each checkout other bytes.
set(CMAKE_CXX_USE_RESPONSE_FILE_FOR_INCLUDES OFF)
set(CMAKE_CXX_USE_RESPONSE_FILE_FOR_OBJECTS OFF)
set(CMAKE_CXX_USE_RESPONSE_FILE_FOR_LIBRARIES OFF)
set(seatenrol_relative ${CMAKE_CURRENT_LIST_DIR}/relative-paths.sh ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
set(CMAKE_CXX_COMPILER_LAUNCHER ${seatenrol_relative})
set(CMAKE_CXX_LINKER_LAUNCHER ${seatenrol_relative})
# The start-up files of the MinGW-w64 runtime carry DWARF, which lld copies
# into the output beside writing the PDB; the files shipped keep only the
# PDB's reference.
list(APPEND CMAKE_CXX_CREATE_SHARED_LIBRARY "${SEATENROL_OBJCOPY} --strip-debug <TARGET>")
list(APPEND CMAKE_CXX_LINK_EXECUTABLE "${SEATENROL_OBJCOPY} --strip-debug <TARGET>")
