# Install rules: the library, its headers, a CMake package and a pkg-config
# file, laid out by GNUInstallDirs; the tools and the documentation when built.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(SEATENROL_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/seatenrol)

target_include_directories(seatenrol PUBLIC $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

# The DLL goes to bin/ beside the programs that load it, its import library
# to lib/; the .so and its links to lib/.
install(TARGETS seatenrol EXPORT seatenrolTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
if(WIN32)
  # The Visual C++ import library, made beside the build when the tools for
  # it are present.
  install(FILES ${PROJECT_BINARY_DIR}/seatenrol.lib DESTINATION ${CMAKE_INSTALL_LIBDIR} OPTIONAL)
endif()

# Every public header, whichever exist; version.h is written by the build.
file(GLOB SEATENROL_PUBLIC_HEADERS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/include/seatenrol/*.h)
install(FILES ${SEATENROL_PUBLIC_HEADERS} ${SEATENROL_GENERATED_INCLUDE}/seatenrol/version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/seatenrol)

foreach(tool seat-enrol enrol-server)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

file(GLOB seatenrol_docs ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${seatenrol_docs} DESTINATION ${CMAKE_INSTALL_DOCDIR})

# find_package(seatenrol): the imported target seatenrol::seatenrol.
install(EXPORT seatenrolTargets NAMESPACE seatenrol:: DESTINATION ${SEATENROL_PACKAGE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/seatenrolConfig.cmake.in
  ${PROJECT_BINARY_DIR}/seatenrolConfig.cmake INSTALL_DESTINATION ${SEATENROL_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/seatenrolConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/seatenrolConfig.cmake
              ${PROJECT_BINARY_DIR}/seatenrolConfigVersion.cmake
        DESTINATION ${SEATENROL_PACKAGE_DIR})

# pkg-config: paths taken from the .pc file's own place, so the tree works
# wherever it is installed or unpacked (cmake --install --prefix chooses the
# prefix only when installing).
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(SEATENROL_PC_PREFIX ${CMAKE_INSTALL_PREFIX})
else()
  file(RELATIVE_PATH up /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
  string(REGEX REPLACE "/$" "" up "${up}")
  set(SEATENROL_PC_PREFIX "\${pcfiledir}/${up}")
endif()
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(SEATENROL_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(SEATENROL_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
# What the library itself links, which only a static link against it would
# need (nothing on a C library that holds the threads).
if(WIN32)
  set(libs_private "-lws2_32 -liphlpapi -ladvapi32")
else()
  find_package(Threads REQUIRED)
  set(libs_private "${CMAKE_THREAD_LIBS_INIT}")
endif()
set(SEATENROL_PC_LIBS_PRIVATE "")
if(libs_private)
  set(SEATENROL_PC_LIBS_PRIVATE "Libs.private: ${libs_private}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/seatenrol.pc.in ${PROJECT_BINARY_DIR}/seatenrol.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/seatenrol.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
