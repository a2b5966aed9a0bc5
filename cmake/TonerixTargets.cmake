# The libraries and programs, shared by the native and the Windows build.

set(TONERIX_RUNTIME_SOURCES
    src/runtime/arguments.cpp src/runtime/console.cpp src/runtime/integer.cpp
    src/runtime/termination.cpp src/runtime/text.cpp)

# The portable runtime; the platform below it is chosen at link time, so the
# same library serves the programs and the unit tests' fake platform.
add_library(tonerix_runtime STATIC ${TONERIX_RUNTIME_SOURCES})
target_include_directories(tonerix_runtime PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_compile_options(tonerix_runtime PRIVATE -fno-exceptions -fno-rtti)

# The command: entry, dispatch and help screen.
add_library(tonerix_command STATIC src/tonerix.cpp)
target_link_libraries(tonerix_command PUBLIC tonerix_runtime)
target_compile_options(tonerix_command PRIVATE -fno-exceptions -fno-rtti)

function(tonerix_program target)
  add_executable(${target} ${ARGN})
  target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti)
  # Static language runtimes: nothing to load at start-up but the C library.
  target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
endfunction()

function(tonerix_add_linux_programs)
  add_library(tonerix_platform STATIC
      src/platform/linux/command_line.cpp src/platform/linux/system.cpp
      src/platform/linux/faults.cpp src/platform/linux/tone/alsa.cpp
      src/platform/linux/tone/beep.cpp src/platform/linux/tone/clock.cpp
      src/platform/linux/tone/interruption.cpp src/platform/linux/tone/pc_speaker.cpp
      src/platform/linux/tone/sine.cpp src/platform/linux/tone/worker.cpp)
  target_include_directories(tonerix_platform PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(tonerix_platform PRIVATE -fno-exceptions -fno-rtti)
  target_link_libraries(tonerix_platform PUBLIC ${CMAKE_DL_LIBS})

  tonerix_program(tonerix src/platform/linux/entry.cpp)
  target_link_libraries(tonerix PRIVATE tonerix_command tonerix_runtime tonerix_platform)
  target_link_options(tonerix PRIVATE -Wl,--as-needed)
endfunction()

function(tonerix_add_windows_programs)
  add_library(tonerix_platform STATIC
      src/platform/windows/faults.cpp src/platform/windows/system.cpp)
  target_include_directories(tonerix_platform PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(tonerix_platform PRIVATE -fno-exceptions -fno-rtti)
  target_link_libraries(tonerix_platform PUBLIC user32 kernel32)

  tonerix_program(tonerix src/platform/windows/entry.cpp)
  target_link_libraries(tonerix PRIVATE tonerix_command tonerix_runtime tonerix_platform)
  target_link_options(tonerix PRIVATE -mconsole -s)

  # The Windows zip: the program and a README with Windows line ends.
  configure_file(packaging/windows/README.txt README.txt NEWLINE_STYLE CRLF)
  install(TARGETS tonerix RUNTIME DESTINATION .)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME tonerix-${PROJECT_VERSION}-win32)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  include(CPack)
endfunction()
