# Loads a package version file as find_package does for a request of WANTED
# and prints 1 when it accepts the request, 0 when not:
#   cmake -DWANTED=0.1 -DVERSION_FILE=.../quorvane_datConfigVersion.cmake -P version_check.cmake
set(PACKAGE_FIND_VERSION "${WANTED}")
string(REPLACE "." ";" parts "${WANTED}")
list(LENGTH parts PACKAGE_FIND_VERSION_COUNT)
list(APPEND parts 0 0)
list(GET parts 0 PACKAGE_FIND_VERSION_MAJOR)
list(GET parts 1 PACKAGE_FIND_VERSION_MINOR)
list(GET parts 2 PACKAGE_FIND_VERSION_PATCH)
set(CMAKE_SIZEOF_VOID_P 8)
include("${VERSION_FILE}")
if(PACKAGE_VERSION_COMPATIBLE)
  message("1")
else()
  message("0")
endif()
