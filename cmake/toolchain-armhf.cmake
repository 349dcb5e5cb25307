# Cross build for the device: 32-bit ARM Linux, hard-float ABI, with
# Debian's arm-linux-gnueabihf toolchain. Test programs run under qemu-arm.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(S2N_CROSS_TRIPLE arm-linux-gnueabihf)
set(S2N_CROSS_ROOT /usr/${S2N_CROSS_TRIPLE})

set(CMAKE_C_COMPILER ${S2N_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${S2N_CROSS_TRIPLE}-g++)

# Libraries, headers and packages come from the target tree only; programs
# (python3, readelf, qemu) from the build host.
set(CMAKE_FIND_ROOT_PATH ${S2N_CROSS_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Run target programs (tests, test discovery) through user-mode emulation,
# with the target's dynamic loader and libraries.
# Without qemu-arm the build still works; the tests cannot run.
find_program(S2N_QEMU_ARM qemu-arm)
if(S2N_QEMU_ARM)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${S2N_QEMU_ARM} -L ${S2N_CROSS_ROOT})
endif()
