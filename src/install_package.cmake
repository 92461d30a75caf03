# Install rules of the quorvane_dat package: the libraries, the public headers,
# the CMake package and the pkg-config file, in two components:
#   runtime      the shared library (nothing for a static build);
#   development  headers, static libraries, the shared library's link name,
#                the CMake package and the pkg-config file.
# Included from src/ when QUORVANE_INSTALL is on, in a top-level build as in
# one that embeds the project, so that a consumer can install (and export) its
# own targets that link the library.
include(CMakePackageConfigHelpers)
set(QUORVANE_DAT_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/quorvane_dat")

# A static quorvane_dat needs quorvane_base at link time, and both need its
# include directory, so both go into the package.
install(TARGETS quorvane_dat quorvane_base EXPORT quorvane_dat_targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)

get_property(dat_headers GLOBAL PROPERTY QUORVANE_DAT_PUBLIC_HEADERS)
foreach(header IN LISTS dat_headers)
  get_filename_component(folder "${header}" DIRECTORY)
  install(FILES "${CMAKE_CURRENT_SOURCE_DIR}/${header}"
    DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/quorvane_dat/${folder}" COMPONENT development)
endforeach()
install(FILES "${QUORVANE_INCLUDE_ROOT}/quorvane_dat/version.hpp"
  DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/quorvane_dat" COMPONENT development)
get_property(base_headers GLOBAL PROPERTY QUORVANE_BASE_PUBLIC_HEADERS)
foreach(header IN LISTS base_headers)
  install(FILES "${PROJECT_SOURCE_DIR}/base/${header}"
    DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/quorvane_base" COMPONENT development)
endforeach()

install(EXPORT quorvane_dat_targets NAMESPACE quorvane_dat::
  DESTINATION "${QUORVANE_DAT_CMAKE_DIR}" COMPONENT development)
file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/quorvane_datConfig.cmake"
  "include(CMakeFindDependencyMacro)\n"
  "find_dependency(Threads)\n"
  "include(\"\${CMAKE_CURRENT_LIST_DIR}/quorvane_dat_targets.cmake\")\n")
# While the major version is 0 every minor release may break: a request is
# met only by the same minor version (0.1.x for 0.1); from 1.0 on, by the
# same major version.
if(PROJECT_VERSION_MAJOR EQUAL 0)
  set(compatibility SameMinorVersion)
else()
  set(compatibility SameMajorVersion)
endif()
write_basic_package_version_file("${CMAKE_CURRENT_BINARY_DIR}/quorvane_datConfigVersion.cmake"
  VERSION ${PROJECT_VERSION} COMPATIBILITY ${compatibility})
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/quorvane_datConfig.cmake"
  "${CMAKE_CURRENT_BINARY_DIR}/quorvane_datConfigVersion.cmake"
  DESTINATION "${QUORVANE_DAT_CMAKE_DIR}" COMPONENT development)

# pkg-config. The prefix is found from the file's own place, so that the
# installed tree can be moved. A shared library needs only itself (it exports
# the foundation functions its headers declare); a static one its foundation
# library and the thread library as well. A Debug build's libraries carry the
# debug postfix, and so does its file (quorvane_datd.pc), so that a Debug
# install beside a Release one in the same prefix replaces neither.
get_target_property(postfix quorvane_dat DEBUG_POSTFIX)
if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  set(postfix "")
endif()
file(RELATIVE_PATH QUORVANE_PC_RELATIVE_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
string(REGEX REPLACE "/$" "" QUORVANE_PC_RELATIVE_PREFIX "${QUORVANE_PC_RELATIVE_PREFIX}")
if(BUILD_SHARED_LIBS)
  set(QUORVANE_PC_LIBS "-lquorvane_dat${postfix}")
  set(QUORVANE_PC_LIBS_PRIVATE "-pthread")
else()
  set(QUORVANE_PC_LIBS "-lquorvane_dat${postfix} -lquorvane_base${postfix} -pthread")
  set(QUORVANE_PC_LIBS_PRIVATE "")
endif()
configure_file("${CMAKE_CURRENT_SOURCE_DIR}/quorvane_dat.pc.in"
  "${CMAKE_CURRENT_BINARY_DIR}/quorvane_dat${postfix}.pc" @ONLY)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/quorvane_dat${postfix}.pc"
  DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig" COMPONENT development)
