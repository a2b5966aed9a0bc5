# tonerix.exe (and its test programs) as a cross-compiled sub-build.
find_program(TONERIX_MINGW_CXX NAMES i686-w64-mingw32-g++-win32 i686-w64-mingw32-g++)
if(NOT TONERIX_MINGW_CXX)
  tonerix_left_out("MinGW-w64 not found: tonerix.exe is left out")
  return()
endif()

include(ExternalProject)
set(TONERIX_WINDOWS_BINARY_DIR ${CMAKE_BINARY_DIR}/windows)
ExternalProject_Add(tonerix_windows
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${TONERIX_WINDOWS_BINARY_DIR}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-i686.cmake
    -DCMAKE_BUILD_TYPE=MinSizeRel
    -DBUILD_TESTING=${BUILD_TESTING}
    -DTONERIX_WERROR=${TONERIX_WERROR}
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${TONERIX_WINDOWS_BINARY_DIR}/tonerix.exe)
set(TONERIX_EXE ${TONERIX_WINDOWS_BINARY_DIR}/tonerix.exe)
