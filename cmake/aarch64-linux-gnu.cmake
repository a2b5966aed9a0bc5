# Cross-compiling the Linux program for 64-bit ARM with Debian's cross
# compiler; its tests run under user-mode emulation, which CTest and
# GoogleTest's test discovery put in front of every test program.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
find_program(CMAKE_CXX_COMPILER NAMES aarch64-linux-gnu-g++ REQUIRED)

# The arm64 libraries the tests link (GoogleTest) and load (ALSA and the
# sound servers' clients) come from a Debian arm64 tree that scripts/setup
# makes, not from the host, which holds nothing of another architecture.
# Packaging needs neither the tree nor the emulator.
if(DEFINED ENV{TONERIX_ARM64_TREE})
  set(TONERIX_ARM64_TREE "$ENV{TONERIX_ARM64_TREE}")
else()
  get_filename_component(TONERIX_ARM64_TREE "${CMAKE_CURRENT_LIST_DIR}/../.cache/trees/arm64" ABSOLUTE)
endif()
set(CMAKE_FIND_ROOT_PATH ${TONERIX_ARM64_TREE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
find_program(TONERIX_QEMU NAMES qemu-aarch64-static qemu-aarch64)
if(TONERIX_QEMU AND EXISTS ${TONERIX_ARM64_TREE}/lib/ld-linux-aarch64.so.1)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TONERIX_QEMU} -L ${TONERIX_ARM64_TREE})
endif()
