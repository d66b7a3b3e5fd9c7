# libpq for the ledger and its tests, as zrv_libpq_headers: its headers only, since the programs load the
# library when a ledger is first used. Linux: Debian's libpq-dev (libpq.so.5 at run time). Windows: the
# kit's own build of it with TLS (OpenSSL linked in), made from Debian's source packages by
# scripts/build-mingw-deps.sh into a folder per version outside the build tree; its libpq.dll goes beside
# the programs that load it (zrv_libpq_beside) and, with its licences, into the zip and the MSI.

add_library(zrv_libpq_headers INTERFACE)
if(NOT WIN32)
  find_package(PostgreSQL REQUIRED)
  target_include_directories(zrv_libpq_headers SYSTEM INTERFACE ${PostgreSQL_INCLUDE_DIRS})
  return()
endif()

# Empty: the folder of the versions pinned in scripts/mingw-deps.conf, which the script names (a new pin
# reconfigures the tree). A build on Windows itself names a folder of the same layout.
set(ZRV_MINGW_LIBPQ_DIR "" CACHE PATH
    "libpq for Windows as scripts/build-mingw-deps.sh builds it (include/, bin/libpq.dll, licences/, SOURCES.txt); empty: the pinned one")
set(ZRV_LIBPQ_DIR "${ZRV_MINGW_LIBPQ_DIR}")
if(ZRV_LIBPQ_DIR STREQUAL "" AND CMAKE_HOST_UNIX)
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/build-mingw-deps.sh --print-dir
                  OUTPUT_VARIABLE ZRV_LIBPQ_DIR OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/scripts/mingw-deps.conf)
endif()
if(NOT EXISTS "${ZRV_LIBPQ_DIR}/bin/libpq.dll" OR NOT EXISTS "${ZRV_LIBPQ_DIR}/include/libpq-fe.h")
  message(FATAL_ERROR "libpq for Windows is missing at '${ZRV_LIBPQ_DIR}': scripts/build-mingw-deps.sh builds it "
                      "(once per machine, as root; make test and make build-mingw run it)")
endif()
target_include_directories(zrv_libpq_headers SYSTEM INTERFACE "${ZRV_LIBPQ_DIR}/include")
# "postgresql-15 VERSION" and "openssl VERSION": the source packages it was built from, for the licences.
file(STRINGS "${ZRV_LIBPQ_DIR}/SOURCES.txt" sources LIMIT_COUNT 2)
list(GET sources 0 ZRV_LIBPQ_SOURCE)
list(GET sources 1 ZRV_OPENSSL_SOURCE)
set(ZRV_LIBPQ_DLLS "${ZRV_LIBPQ_DIR}/bin/libpq.dll")

# zrv_libpq_beside(TARGET): the DLLs in the build folder of TARGET, where its program looks for them.
function(zrv_libpq_beside target)
  get_target_property(folder ${target} BINARY_DIR)
  set(copies "")
  foreach(dll IN LISTS ZRV_LIBPQ_DLLS)
    get_filename_component(name "${dll}" NAME)
    add_custom_command(OUTPUT "${folder}/${name}" COMMAND ${CMAKE_COMMAND} -E copy "${dll}" "${folder}/${name}"
                       DEPENDS "${dll}" VERBATIM)
    list(APPEND copies "${folder}/${name}")
  endforeach()
  add_custom_target(${target}-libpq DEPENDS ${copies})
  add_dependencies(${target} ${target}-libpq)
endfunction()

install(FILES ${ZRV_LIBPQ_DLLS} DESTINATION ${ZRV_INSTALL_BINDIR})
