# Cross-compiling the Linux program for 64-bit ARM with Debian's cross
# compiler; its tests run under user-mode emulation, which CTest and
# GoogleTest's test discovery put in front of every test program.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
find_program(CMAKE_CXX_COMPILER NAMES aarch64-linux-gnu-g++ REQUIRED)
find_program(CMAKE_CROSSCOMPILING_EMULATOR NAMES qemu-aarch64-static qemu-aarch64 REQUIRED)
# Debian's multiarch layout: arm64 libraries (GoogleTest among them) under
# /usr/lib/aarch64-linux-gnu, headers shared in /usr/include.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
