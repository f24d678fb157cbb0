# Cross build for 64-bit ARM Linux with Debian's g++-aarch64-linux-gnu. Only
# the launcher is built (SFX_LAUNCHER_ONLY): it is the program that travels.
# Programs run under qemu-aarch64-static when the emulator is there.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
find_program(SFX_QEMU_AARCH64 qemu-aarch64-static)
if(SFX_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SFX_QEMU_AARCH64})
endif()
