# The Debian package: `cpack -G DEB` in a build folder (or `cmake --workflow
# --preset package`) makes mandel-explorer_<version>_<arch>.deb of everything
# `cmake --install` places, under /usr.

# The package text comes from the AppStream metadata, so the software centre
# and apt describe the program in the same words: the summary, then each
# paragraph of the description filled to lines of at most 79 characters.
include(${CMAKE_CURRENT_LIST_DIR}/FillWords.cmake)
file(READ ${PROJECT_SOURCE_DIR}/data/org.mandelexplorer.MandelExplorer.metainfo.xml _mandel_metainfo)
# A semicolon in the text would split CMake lists: hide it while the paragraphs are lists.
string(ASCII 1 _semicolon)
string(REPLACE ";" "${_semicolon}" _mandel_metainfo "${_mandel_metainfo}")
string(REGEX MATCH "<summary>([^<]*)</summary>" _ "${_mandel_metainfo}")
set(_mandel_summary "${CMAKE_MATCH_1}")
string(REGEX MATCH "<description>(.*)</description>" _ "${_mandel_metainfo}")
string(REGEX MATCHALL "<p>[^<]*</p>" _mandel_paragraphs "${CMAKE_MATCH_1}")
set(_mandel_description "")
foreach(_p IN LISTS _mandel_paragraphs)
  string(REGEX REPLACE "</?p>" "" _p "${_p}")
  string(STRIP "${_p}" _p)
  mandel_fill_words(_filled "${_p}" 79 "" "")
  string(APPEND _mandel_description "${_filled}\n")
endforeach()
string(STRIP "${_mandel_description}" _mandel_description)
foreach(_text _mandel_summary _mandel_description)
  string(REPLACE "${_semicolon}" ";" ${_text} "${${_text}}")
  string(REPLACE "&lt;" "<" ${_text} "${${_text}}")
  string(REPLACE "&gt;" ">" ${_text} "${${_text}}")
  string(REPLACE "&quot;" "\"" ${_text} "${${_text}}")
  string(REPLACE "&amp;" "&" ${_text} "${${_text}}")
endforeach()
if(NOT _mandel_summary OR NOT _mandel_description)
  message(FATAL_ERROR "The AppStream metadata has no <summary> or no <description><p>")
endif()

set(CPACK_PACKAGE_NAME mandel-explorer)
set(CPACK_PACKAGE_VENDOR "Mandelbrot Explorer")
set(CPACK_PACKAGE_CONTACT "${MANDEL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${_mandel_summary}")
set(CPACK_PACKAGE_DESCRIPTION "${_mandel_description}")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://mandelexplorer.org/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
# Quotes and semicolons of the description reach the package as written.
set(CPACK_VERBATIM_VARIABLES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Completion and man pages are read by these when present.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion, man-db")
# Directories the package shares with the system belong to root, mode 755.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

include(CPack)
