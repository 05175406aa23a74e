# Read after the platform's rules of each language (cmake/mingw-w64-clang.cmake),
# once per language: each time for the languages whose rules exist and were
# not yet amended. clang writes its command line into each object's CodeView
# record and lld the link's into the PDB, whose GUID is a hash of it: a path
# naming this checkout there, or a response file in its place, would give
# each checkout other bytes.
set(seatenrol_relative ${CMAKE_CURRENT_LIST_DIR}/relative-paths.sh ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
foreach(lang C CXX)
  if(NOT DEFINED CMAKE_${lang}_CREATE_SHARED_LIBRARY OR seatenrol_rules_${lang})
    continue()
  endif()
  set(seatenrol_rules_${lang} TRUE)
  set(CMAKE_${lang}_USE_RESPONSE_FILE_FOR_INCLUDES OFF)
  set(CMAKE_${lang}_USE_RESPONSE_FILE_FOR_OBJECTS OFF)
  set(CMAKE_${lang}_USE_RESPONSE_FILE_FOR_LIBRARIES OFF)
  set(CMAKE_${lang}_COMPILER_LAUNCHER ${seatenrol_relative})
  set(CMAKE_${lang}_LINKER_LAUNCHER ${seatenrol_relative})
  # The start-up files of the MinGW-w64 runtime carry DWARF, which lld copies
  # into the output beside writing the PDB; the files made keep only the
  # PDB's reference.
  list(APPEND CMAKE_${lang}_CREATE_SHARED_LIBRARY "${SEATENROL_OBJCOPY} --strip-debug <TARGET>")
  list(APPEND CMAKE_${lang}_LINK_EXECUTABLE "${SEATENROL_OBJCOPY} --strip-debug <TARGET>")
endforeach()
