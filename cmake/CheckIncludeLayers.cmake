# The build's check of cli/'s one-way order, run as a script: every #include "cli/FOLDER/..." of a file in
# ROOT/ONE_FOLDER/ must name a folder that ONE_FOLDER's library links (RULES sets FOLDERS, and SEES_<folder>
# to the folders each may include, its own among them). Separate libraries alone would not stop such an
# include, since every target sees the project's root. Fails the build, naming each wrong include.
cmake_minimum_required(VERSION 3.25)
include(${RULES})

set(wrong "")
file(GLOB_RECURSE files RELATIVE ${ROOT} ${ROOT}/*.cpp ${ROOT}/*.h)
foreach(file IN LISTS files)
  string(REGEX REPLACE "/.*" "" folder "${file}")
  if(NOT folder IN_LIST FOLDERS)
    string(APPEND wrong "\n  cli/${file}: cli/${folder}/ is no folder with a library of its own in cli/CMakeLists.txt")
    continue()
  endif()
  file(STRINGS ${ROOT}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(line IN LISTS includes)
    string(REGEX MATCH "[\"<]([^\">]*)[\">]" ignored "${line}")
    set(included "${CMAKE_MATCH_1}")
    if(included MATCHES "(^|/)\\.\\./")
      string(APPEND wrong "\n  cli/${file}: #include \"${included}\": name another folder's header as cli/FOLDER/...")
    elseif(included MATCHES "^cli/([^/]+)/" AND NOT CMAKE_MATCH_1 IN_LIST SEES_${folder})
      string(REPLACE ";" "/, " allowed "${SEES_${folder}}")
      string(APPEND wrong "\n  cli/${file}: #include \"${included}\": ${folder}/ may include only ${allowed}/")
    endif()
  endforeach()
endforeach()

if(NOT wrong STREQUAL "")
  message(FATAL_ERROR "an include runs against cli/'s one-way order (its folders' libraries in "
                      "cli/CMakeLists.txt):${wrong}")
endif()
