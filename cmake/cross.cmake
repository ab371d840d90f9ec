# What the ARM toolchain files share: Debian's cross compiler for KEL_TRIPLET, the multiarch
# development packages, and every program started through the emulator KEL_QEMU_NAME.
# The including file sets CMAKE_SYSTEM_PROCESSOR, KEL_TRIPLET, KEL_QEMU_NAME, KEL_DEB_ARCH.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${KEL_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${KEL_TRIPLET}-g++)
set(PKG_CONFIG_EXECUTABLE ${KEL_TRIPLET}-pkg-config CACHE FILEPATH "")
set(CMAKE_LIBRARY_ARCHITECTURE ${KEL_TRIPLET})

# Headers and libraries come from the multiarch tree; programs (python3) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${KEL_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# No binfmt_misc on build machines: every ARM program is started through qemu. No -L:
# that prefix holds the cross toolchain's own C library, and threaded programs crash
# with it; the multiarch libraries are found without it.
find_program(KEL_QEMU ${KEL_QEMU_NAME} REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${KEL_QEMU})
