# Cross build for 32-bit ARM (Debian armhf) with Debian's cross compiler and the
# multiarch :armhf development packages; programs run through qemu-arm-static.
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/armhf.cmake
set(CMAKE_SYSTEM_PROCESSOR arm)
set(KEL_TRIPLET arm-linux-gnueabihf)
set(KEL_QEMU_NAME qemu-arm-static)
set(KEL_DEB_ARCH armhf)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
