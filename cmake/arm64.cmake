# Cross build for 64-bit ARM (Debian arm64) with Debian's cross compiler and the
# multiarch :arm64 development packages; programs run through qemu-aarch64-static.
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/arm64.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(KEL_TRIPLET aarch64-linux-gnu)

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

# No binfmt_misc on build machines: every ARM program is started through qemu, without
# -L (see armhf.cmake: the multiarch libraries are found without it).
find_program(KEL_QEMU qemu-aarch64-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${KEL_QEMU})
set(KEL_DEB_ARCH arm64)
