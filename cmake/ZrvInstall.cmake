# What the programs install and where: flat at the top of the Windows zip, the usual places on Linux.
include(GNUInstallDirs)
if(WIN32)
  set(ZRV_INSTALL_BINDIR .)
else()
  set(ZRV_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
endif()

find_program(ZRV_MAN_PROGRAM man)
find_program(ZRV_GZIP_PROGRAM gzip)

# zrv_man_page(TARGET SUMMARY [EXTRA_ROFF]): the program's manual page, made from its own --help at build
# time (see ManPageFromHelp.cmake) with the sections of EXTRA_ROFF after it, and installed with the
# program. Native builds without sanitizers only: the program has to run, and a sanitized one may need the
# fixed memory layout that only its test tier gives it.
function(zrv_man_page target summary)
  set(extra "")
  if(ARGC GREATER 2)
    get_filename_component(extra ${ARGV2} ABSOLUTE)
  endif()
  if(CMAKE_CROSSCOMPILING OR NOT ZRV_SANITIZE STREQUAL "" OR NOT ZRV_MAN_PROGRAM OR NOT ZRV_GZIP_PROGRAM)
    message(STATUS "${target}: no manual page (needs a native build without sanitizers, man and gzip)")
    return()
  endif()
  set(page ${CMAKE_CURRENT_BINARY_DIR}/man/${target}.1.gz)
  add_custom_command(
    OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${target}> -DNAME=${target} -DSUMMARY=${summary}
            -DOUTPUT=${page} -DMAN=${ZRV_MAN_PROGRAM} -DGZIP=${ZRV_GZIP_PROGRAM} -DEXTRA=${extra}
            -P ${PROJECT_SOURCE_DIR}/cmake/ManPageFromHelp.cmake
    DEPENDS ${target} ${PROJECT_SOURCE_DIR}/cmake/ManPageFromHelp.cmake ${extra}
    COMMENT "Manual page of ${target}"
    VERBATIM)
  add_custom_target(${target}-man ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

# zrv_install_windows_text(SOURCES NAME DESTINATION): a text file installed as NAME with CR LF line ends,
# which every Windows editor shows as lines: the files of the list SOURCES one after the other (each
# ending with a line end), an empty line between two; @VARIABLE@ in it becomes the variable's value.
function(zrv_install_windows_text sources name destination)
  set(text "")
  foreach(source IN LISTS sources)
    get_filename_component(source ${source} ABSOLUTE)
    file(READ ${source} part)
    if(NOT text STREQUAL "")
      string(APPEND text "\n")
    endif()
    string(APPEND text "${part}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  endforeach()
  string(CONFIGURE "${text}" text @ONLY)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/windows-text/${name} "${text}")
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/windows-text/${name} DESTINATION ${destination})
endfunction()
