# Installing, and the packages CPack builds: the Windows zip, and the Debian
# package for the processor the Linux program is built for.

# CPack stamps every file time in the archives with SOURCE_DATE_EPOCH: give it
# the sources' time when the caller has not.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackSourceDate.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE}
     "if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})\n"
     "  set(ENV{SOURCE_DATE_EPOCH} ${TONERIX_SOURCE_DATE_EPOCH})\n"
     "endif()\n")
if(WIN32)
  # The program and a README with Windows line ends.
  configure_file(packaging/windows/README.txt README.txt NEWLINE_STYLE CRLF)
  install(TARGETS tonerix RUNTIME DESTINATION .)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME tonerix-${PROJECT_VERSION}-win32)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  include(CPack)
  return()
endif()

include(GNUInstallDirs)

set(TONERIX_MAN_PAGE ${PROJECT_BINARY_DIR}/tonerix.1.gz)
add_custom_command(OUTPUT ${TONERIX_MAN_PAGE}
  COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/docs/tonerix.1 > ${TONERIX_MAN_PAGE}
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/tonerix.1 VERBATIM)
set(TONERIX_CHANGELOG ${PROJECT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${TONERIX_CHANGELOG}
  COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/packaging/debian/changelog > ${TONERIX_CHANGELOG}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog VERBATIM)
add_custom_target(tonerix_docs ALL DEPENDS ${TONERIX_MAN_PAGE} ${TONERIX_CHANGELOG})

install(TARGETS tonerix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${TONERIX_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/70-tonerix-pcspkr.rules DESTINATION lib/udev/rules.d)
install(FILES packaging/debian/copyright ${TONERIX_CHANGELOG}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tonerix)
set(CPACK_PACKAGE_VENDOR "the tonerix developers")
set(CPACK_PACKAGE_CONTACT "tonerix developers <dev@tonerix.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sound one tone from the command line")
set(CPACK_PACKAGE_DESCRIPTION
"tonerix sounds a tone of a given frequency and duration, or 1000 Hz for
one second without arguments. The tone goes to the user's PipeWire or
PulseAudio server, else to the sound card through ALSA, else to the PC
speaker.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Debian's name for the processor the program is built for, which for a
# cross build is not the machine's own.
set(TONERIX_DEBIAN_ARCHITECTURES x86_64 amd64 aarch64 arm64)
list(FIND TONERIX_DEBIAN_ARCHITECTURES ${CMAKE_SYSTEM_PROCESSOR} processor)
if(processor EQUAL -1)
  message(FATAL_ERROR "no Debian architecture for ${CMAKE_SYSTEM_PROCESSOR}")
endif()
math(EXPR processor "${processor} + 1")
list(GET TONERIX_DEBIAN_ARCHITECTURES ${processor} CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The sound libraries are loaded at run time: useful, never required.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libpipewire-0.3-0 | libpulse0, libasound2")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
set(CPACK_STRIP_FILES ON)
include(CPack)
