# The libraries and programs, shared by the native and the Windows build.

set(TONERIX_RUNTIME_SOURCES
    src/runtime/arguments.cpp src/runtime/console.cpp src/runtime/integer.cpp
    src/runtime/termination.cpp src/runtime/text.cpp)

# What every part of the shipped programs is compiled with: failures are
# numeric codes, never exceptions, and nothing asks for run-time type data.
add_library(tonerix_code_options INTERFACE)
target_compile_options(tonerix_code_options INTERFACE -fno-exceptions -fno-rtti)

# The portable runtime; the platform below it is chosen at link time, so the
# same library serves the programs and the unit tests' fake platform.
add_library(tonerix_runtime STATIC ${TONERIX_RUNTIME_SOURCES})
target_include_directories(tonerix_runtime PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tonerix_runtime PRIVATE tonerix_code_options)

# The command: entry, dispatch and help screen.
add_library(tonerix_command STATIC src/tonerix.cpp)
target_link_libraries(tonerix_command PUBLIC tonerix_runtime PRIVATE tonerix_code_options)

function(tonerix_program target)
  add_executable(${target} ${ARGN})
  target_link_libraries(${target} PRIVATE tonerix_code_options)
  # Static language runtimes: nothing to load at start-up but the C library.
  target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
endfunction()

# The sound servers' headers, for their types and inline functions only: the
# libraries themselves are loaded at run time. They are the same for every
# processor, so a cross build reads them too, after its own system headers.
# Without them (TONERIX_SERVER_DRIVERS=AUTO) the two server drivers are left
# out, and decline at run time.
set(TONERIX_SOUND_HEADERS /usr/include CACHE PATH "Where the PipeWire, SPA and PulseAudio headers are")
function(tonerix_server_driver_sources out)
  set(missing "")
  foreach(header pipewire-0.3/pipewire/pipewire.h spa-0.2/spa/param/audio/format-utils.h
                 pulse/pulseaudio.h)
    if(NOT EXISTS ${TONERIX_SOUND_HEADERS}/${header})
      list(APPEND missing ${header})
    endif()
  endforeach()
  set(drivers src/platform/linux/tone/servers/pipewire.cpp src/platform/linux/tone/servers/pulseaudio.cpp)
  if(TONERIX_SERVER_DRIVERS STREQUAL "OFF")
    set(drivers src/platform/linux/tone/servers/no_server_drivers.cpp)
  elseif(missing)
    list(JOIN missing ", " missing)
    set(why "${missing} missing (libpipewire-0.3-dev, libspa-0.2-dev, libpulse-dev)")
    if(TONERIX_SERVER_DRIVERS STREQUAL "ON")
      message(FATAL_ERROR "TONERIX_SERVER_DRIVERS is ON, but ${why}")
    endif()
    tonerix_left_out("the PipeWire and PulseAudio drivers are left out: ${why}")
    set(drivers src/platform/linux/tone/servers/no_server_drivers.cpp)
  endif()
  set(${out} ${drivers} PARENT_SCOPE)
endfunction()

function(tonerix_use_sound_headers target)
  foreach(folder pipewire-0.3 spa-0.2 .)
    target_compile_options(${target} PRIVATE "SHELL:-idirafter ${TONERIX_SOUND_HEADERS}/${folder}")
  endforeach()
  # PipeWire's inline methods are macros around GNU statement expressions,
  # which clang's -Wpedantic flags where they expand, in our code.
  target_compile_options(${target} PRIVATE $<$<CXX_COMPILER_ID:Clang>:-Wno-gnu-statement-expression>)
endfunction()

function(tonerix_add_linux_programs)
  tonerix_server_driver_sources(server_drivers)
  # The tone folder by role: what every driver shares, the service that runs
  # them, the sound-server drivers with their loop and verdict, the devices.
  set(tone src/platform/linux/tone)
  add_library(tonerix_platform STATIC ${server_drivers}
      src/platform/linux/command_line.cpp src/platform/linux/system.cpp
      src/platform/linux/faults.cpp src/platform/linux/threads.cpp
      ${tone}/tone_driver.cpp ${tone}/clock.cpp ${tone}/sine.cpp ${tone}/sound_library.cpp
      ${tone}/service/interruption.cpp ${tone}/service/tone_service.cpp ${tone}/tone_call.cpp
      ${tone}/server_address.cpp ${tone}/servers/server_watch.cpp ${tone}/server_peer.cpp
      ${tone}/verdict.cpp
      ${tone}/devices/alsa.cpp ${tone}/devices/held_tone.cpp ${tone}/devices/pc_speaker.cpp
      ${tone}/devices/terminal_bell.cpp)
  target_include_directories(tonerix_platform PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_definitions(tonerix_platform PRIVATE TONERIX_VERSION="${PROJECT_VERSION}")
  tonerix_use_sound_headers(tonerix_platform)
  target_link_libraries(tonerix_platform PUBLIC ${CMAKE_DL_LIBS} PRIVATE tonerix_code_options)

  tonerix_program(tonerix src/platform/linux/entry.cpp)
  target_link_libraries(tonerix PRIVATE tonerix_command tonerix_runtime tonerix_platform)
  target_link_options(tonerix PRIVATE -Wl,--as-needed)
endfunction()

function(tonerix_add_windows_programs)
  add_library(tonerix_platform STATIC
      src/platform/windows/faults.cpp src/platform/windows/system.cpp)
  target_include_directories(tonerix_platform PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(tonerix_platform PUBLIC user32 kernel32 PRIVATE tonerix_code_options)

  tonerix_program(tonerix src/platform/windows/entry.cpp)
  target_link_libraries(tonerix PRIVATE tonerix_command tonerix_runtime tonerix_platform)
  # No build time in the PE header: the same sources give the same program.
  target_link_options(tonerix PRIVATE -mconsole -s -Wl,--no-insert-timestamp)

endfunction()
