# Reproducible artifacts: the same commit gives the same bytes, wherever,
# whenever and by whomever it is built.
#
# One time stands for every time written into an artifact: SOURCE_DATE_EPOCH
# when the caller sets it, else the time a release tarball carries in its
# SOURCE_DATE_EPOCH file, else the time of the last commit.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(TONERIX_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
elseif(EXISTS ${PROJECT_SOURCE_DIR}/SOURCE_DATE_EPOCH)
  file(STRINGS ${PROJECT_SOURCE_DIR}/SOURCE_DATE_EPOCH TONERIX_SOURCE_DATE_EPOCH LIMIT_COUNT 1)
else()
  execute_process(COMMAND git log -1 --format=%ct
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE TONERIX_SOURCE_DATE_EPOCH
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT TONERIX_SOURCE_DATE_EPOCH)
    message(FATAL_ERROR "neither a git checkout nor a release tarball: set SOURCE_DATE_EPOCH to the sources' time")
  endif()
endif()

# The folders the sources and the build sit in never reach the programs: debug
# information (and so the build ID) names files relative to them. The build
# folder's map comes last so that it wins for files inside it. The link step
# needs them too, as whole-program optimisation compiles again there.
set(TONERIX_PREFIX_MAPS -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
                        -ffile-prefix-map=${PROJECT_BINARY_DIR}=.)
add_compile_options(${TONERIX_PREFIX_MAPS})
add_link_options(${TONERIX_PREFIX_MAPS})
