# Builds for glibc 2.31 and later with Debian 11's GCC, C library and C++ runtime,
# from the system root that scripts/release makes in build/release-root. The root's
# compiler runs on the host, with the host's binutils: the root's own need
# libraries the host lacks. Also pass -DVEXA_PACK_RELOCATIONS=OFF (they need glibc 2.36).
set(VEXA_DEBIAN11_ROOT ${CMAKE_CURRENT_LIST_DIR}/../build/release-root)
if(NOT EXISTS ${VEXA_DEBIAN11_ROOT}/.vexa-release-root)
  message(FATAL_ERROR "No Debian 11 root in ${VEXA_DEBIAN11_ROOT}: scripts/release makes it")
endif()

set(CMAKE_SYSROOT ${VEXA_DEBIAN11_ROOT})
set(CMAKE_C_COMPILER ${VEXA_DEBIAN11_ROOT}/usr/bin/gcc)
set(CMAKE_CXX_COMPILER ${VEXA_DEBIAN11_ROOT}/usr/bin/g++)
foreach(tool IN ITEMS ar ranlib nm objcopy objdump readelf strip)
  string(TOUPPER ${tool} variable)
  find_program(CMAKE_${variable} ${tool} NO_CMAKE_FIND_ROOT_PATH REQUIRED)
endforeach()

# Headers, libraries and CMake packages from the root only; programs the build runs
# (gzip) from the host.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
