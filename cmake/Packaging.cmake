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
  configure_file(LICENSE LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(TARGETS tonerix RUNTIME DESTINATION .)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt ${PROJECT_BINARY_DIR}/LICENSE.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME tonerix-${PROJECT_VERSION}-win32)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  include(CPack)
  return()
endif()

include(GNUInstallDirs)

# Folders made while installing or packing take the builder's umask unless
# told otherwise: the same modes for every builder, as packages expect.
set(TONERIX_FOLDER_MODE OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                        WORLD_READ WORLD_EXECUTE)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${TONERIX_FOLDER_MODE})
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${TONERIX_FOLDER_MODE})

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
# The licence travels as Debian's copyright file, which holds its whole text;
# the RPM marks that file as its licence.
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
if(CMAKE_CROSSCOMPILING)
  # dpkg-shlibdeps looks the C library up in the host's own packages, which
  # hold none of another processor. The dependency is what the library's
  # symbols file would give: the newest C library version the program's
  # symbols name.
  file(APPEND ${CPACK_PROJECT_CONFIG_FILE}
       "if(CPACK_GENERATOR STREQUAL DEB)\n"
       "  execute_process(COMMAND ${CMAKE_OBJDUMP} -T ${PROJECT_BINARY_DIR}/tonerix\n"
       "                  OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)\n"
       "  string(REGEX MATCHALL \"GLIBC_[0-9.]+\" versions \"\${symbols}\")\n"
       "  list(TRANSFORM versions REPLACE GLIBC_ \"\")\n"
       "  list(SORT versions COMPARE NATURAL ORDER DESCENDING)\n"
       "  list(GET versions 0 newest)\n"
       "  set(CPACK_DEBIAN_PACKAGE_DEPENDS \"libc6 (>= \${newest})\")\n"
       "endif()\n")
else()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
# The sound libraries are loaded at run time: useful, never required.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libpipewire-0.3-0 | libpulse0, libasound2")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
set(CPACK_STRIP_FILES ON)
# CPack's ar members carry the modes the builder's umask gave them: fix them.
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackageMemberModes.cmake)

# The RPM, for Fedora, openSUSE and the rest: the same files, the C library
# alone required, the sound libraries suggested by their sonames, which every
# distribution's packages provide whatever their names.
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_ARCHITECTURE ${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_RPM_PACKAGE_RELEASE 1)
set(CPACK_RPM_PACKAGE_LICENSE MIT)
set(CPACK_RPM_PACKAGE_GROUP "Applications/Multimedia") # CPack writes "unknown" without it
# Installed where it was built for: nothing to relocate.
set(CPACK_PACKAGE_RELOCATABLE OFF)
set(CPACK_RPM_PACKAGE_URL ${PROJECT_HOMEPAGE_URL})
set(CPACK_RPM_PACKAGE_SUMMARY "Sound one tone from the command line")
set(CPACK_RPM_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_RPM_CHANGELOG_FILE ${PROJECT_SOURCE_DIR}/packaging/rpm/changelog)
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
    /usr/share/man /usr/share/man/man1 /usr/lib/udev /usr/lib/udev/rules.d)
set(CPACK_RPM_USER_FILELIST "%license /usr/share/doc/tonerix/copyright"
                            "%doc /usr/share/doc/tonerix/changelog.gz")
# Reproducible: the build time and every file time are the sources' time
# (SOURCE_DATE_EPOCH, set above), the host a fixed name, no build-ID links.
# The weak dependencies go in here too: CPack's test for them asks rpmbuild a
# question only rpm answers, and drops them.
set(CPACK_RPM_SPEC_MORE_DEFINE
"Suggests: libpipewire-0.3.so.0()(64bit)
Suggests: libpulse.so.0()(64bit)
Suggests: libasound.so.2()(64bit)
%define packager ${CPACK_PACKAGE_CONTACT}
%define _buildhost tonerix.invalid
%define use_source_date_epoch_as_buildtime 1
%define clamp_mtime_to_source_date_epoch 1
%define _build_id_links none
%define _binary_payload w9.gzdio")
include(CPack)
