# Run with cmake -P: makes the man page PAGE (roff) and PAGE.gz from the scdoc
# source SOURCE, with @VERSION@ replaced by VERSION and the page dated DATE
# (YYYY-MM-DD, the release's), so a rebuild gives the same bytes.
cmake_minimum_required(VERSION 3.25)
foreach(var SCDOC SOURCE PAGE VERSION DATE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "ScdocPage.cmake needs -D${var}=...")
  endif()
endforeach()
file(READ ${SOURCE} text)
string(REPLACE "@VERSION@" "${VERSION}" text "${text}")
file(WRITE ${PAGE}.scd "${text}")
execute_process(COMMAND date -u -d "${DATE}" +%s OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
  COMMAND_ERROR_IS_FATAL ANY)
set(ENV{SOURCE_DATE_EPOCH} ${epoch})
execute_process(COMMAND ${SCDOC} INPUT_FILE ${PAGE}.scd OUTPUT_FILE ${PAGE} COMMAND_ERROR_IS_FATAL ANY)
# Debian installs man pages compressed; -n leaves name and time out of the header.
execute_process(COMMAND gzip -9 -n -c ${PAGE} OUTPUT_FILE ${PAGE}.gz COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE ${PAGE}.scd)
