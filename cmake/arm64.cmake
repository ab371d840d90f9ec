# Cross build for 64-bit ARM (Debian arm64) with Debian's cross compiler and the
# multiarch :arm64 development packages; programs run through qemu-aarch64-static.
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/arm64.cmake
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(KEL_TRIPLET aarch64-linux-gnu)
set(KEL_QEMU_NAME qemu-aarch64-static)
set(KEL_DEB_ARCH arm64)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
