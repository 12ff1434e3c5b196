# Checks that every path ARCHITECTURE.md names exists, so the map cannot point at files
# that have moved or gone. A path is a backquoted word with a slash or a file ending;
# it may hold a * and must then match something.
#
#   cmake -DROOT=<source tree> -P ArchitecturePaths.cmake
file(READ "${ROOT}/ARCHITECTURE.md" text)
string(REGEX MATCHALL "`[^` \t\n]+`" quoted "${text}")
set(missing "")
set(count 0)
foreach(word IN LISTS quoted)
  string(REGEX REPLACE "^`(.*)`$" "\\1" path "${word}")
  if(NOT path MATCHES "/" AND NOT path MATCHES "\\.[A-Za-z0-9]+$")
    continue()
  endif()
  string(REGEX REPLACE "/$" "" path "${path}")
  file(GLOB found LIST_DIRECTORIES true "${ROOT}/${path}")
  if(NOT found)
    list(APPEND missing "${path}")
  endif()
  math(EXPR count "${count} + 1")
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "ARCHITECTURE.md names no paths: is this the right file?")
endif()
if(missing)
  list(JOIN missing "\n  " missing)
  message(FATAL_ERROR "ARCHITECTURE.md names paths that do not exist:\n  ${missing}")
endif()
message(STATUS "ARCHITECTURE.md: all ${count} paths exist")
