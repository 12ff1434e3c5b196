# Builds for Linux on 64-bit ARM with glibc 2.31 and later, with Debian 11's cross
# compiler and its aarch64 C library and C++ runtime, from the system root that
# scripts/release makes in build/release-root. The root's compiler runs on the host,
# with the host's aarch64 binutils (-B): the root's own need libraries the host lacks.
# Also pass -DVEXA_PACK_RELOCATIONS=OFF (they need glibc 2.36).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(VEXA_DEBIAN11_ROOT ${CMAKE_CURRENT_LIST_DIR}/../build/release-root)
if(NOT EXISTS ${VEXA_DEBIAN11_ROOT}/usr/bin/aarch64-linux-gnu-g++)
  message(FATAL_ERROR "No Debian 11 root with the aarch64 cross compiler in ${VEXA_DEBIAN11_ROOT}: scripts/release makes it")
endif()

set(VEXA_CROSS_PREFIX aarch64-linux-gnu)
set(CMAKE_SYSROOT ${VEXA_DEBIAN11_ROOT})
set(CMAKE_C_COMPILER ${VEXA_DEBIAN11_ROOT}/usr/bin/${VEXA_CROSS_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${VEXA_DEBIAN11_ROOT}/usr/bin/${VEXA_CROSS_PREFIX}-g++)
set(CMAKE_C_FLAGS_INIT -B/usr/${VEXA_CROSS_PREFIX}/bin/)
set(CMAKE_CXX_FLAGS_INIT -B/usr/${VEXA_CROSS_PREFIX}/bin/)
foreach(tool IN ITEMS ar ranlib nm objcopy objdump readelf strip)
  string(TOUPPER ${tool} variable)
  find_program(CMAKE_${variable} ${VEXA_CROSS_PREFIX}-${tool} NO_CMAKE_FIND_ROOT_PATH REQUIRED)
endforeach()

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
