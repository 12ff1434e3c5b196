# Cross-build for Linux on 64-bit ARM with Debian's cross compiler
# (g++-aarch64-linux-gnu) and the aarch64 C library and C++ runtime it brings.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(VEXA_CROSS_PREFIX aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${VEXA_CROSS_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${VEXA_CROSS_PREFIX}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${VEXA_CROSS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run under qemu's user-mode emulation, with that same C library.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/qemu-run)
