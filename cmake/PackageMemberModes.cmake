# Run by CPack after it has made its packages: a Debian package's ar members
# (debian-binary, control.tar.gz, data.tar.gz) carry the modes the builder's
# umask gave the files CPack wrote. Every member is a plain file read by
# everyone, so each gets mode 100644, whatever the umask.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.deb$")
    continue()
  endif()
  file(SIZE ${package} length)
  set(offset 8) # after "!<arch>\n"
  while(offset LESS length)
    # A member's header: name 16, time 12, owner 6, group 6, mode 8, size 10, end 2.
    file(READ ${package} header OFFSET ${offset} LIMIT 60)
    string(SUBSTRING "${header}" 40 8 mode)
    string(SUBSTRING "${header}" 48 10 size)
    string(STRIP "${size}" size)
    if(NOT mode STREQUAL "100644  ")
      math(EXPR at "${offset} + 40")
      execute_process(COMMAND printf "100644  "
                      COMMAND dd of=${package} bs=1 seek=${at} conv=notrunc status=none
                      RESULT_VARIABLE failed)
      if(failed)
        message(FATAL_ERROR "could not set the member modes of ${package}")
      endif()
    endif()
    math(EXPR offset "${offset} + 60 + ${size} + ${size} % 2")
  endwhile()
endforeach()
