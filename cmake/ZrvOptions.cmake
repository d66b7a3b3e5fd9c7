# Compiler options shared by every target of the kit: warnings, sanitizers, Windows defines.

add_library(zrv_options INTERFACE)

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(zrv_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wformat=2
                                               -Wcast-qual -Wnon-virtual-dtor)
  if(ZRV_WARNINGS_AS_ERRORS)
    target_compile_options(zrv_options INTERFACE -Werror)
  endif()
elseif(MSVC)
  target_compile_options(zrv_options INTERFACE /W4 /utf-8)
  target_compile_definitions(zrv_options INTERFACE _CRT_SECURE_NO_WARNINGS)
  if(ZRV_WARNINGS_AS_ERRORS)
    target_compile_options(zrv_options INTERFACE /WX)
  endif()
endif()

if(WIN32)
  # The kit speaks the ANSI (multibyte) Win32 API; keep headers lean and the target at Windows 7.
  target_compile_definitions(zrv_options INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
endif()

if(ZRV_SANITIZE STREQUAL "address")
  target_compile_options(zrv_options INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all
                                               -fno-omit-frame-pointer)
  target_link_options(zrv_options INTERFACE -fsanitize=address,undefined)
elseif(ZRV_SANITIZE STREQUAL "thread")
  target_compile_options(zrv_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(zrv_options INTERFACE -fsanitize=thread)
elseif(ZRV_SANITIZE STREQUAL "fuzzer")
  # clang only: everything carries libFuzzer's coverage; the fuzz targets add -fsanitize=fuzzer to link.
  target_compile_options(zrv_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                                               -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(zrv_options INTERFACE -fsanitize=address,undefined)
elseif(NOT ZRV_SANITIZE STREQUAL "")
  message(FATAL_ERROR "ZRV_SANITIZE must be address, thread, fuzzer or empty, not '${ZRV_SANITIZE}'")
endif()

# As Debian builds its packages: stack protector, checked string and memory calls (which need an
# optimised build), read-only relocations resolved at start.
if(ZRV_HARDENING)
  target_compile_options(zrv_options INTERFACE -fstack-protector-strong -fstack-clash-protection)
  target_compile_definitions(zrv_options INTERFACE _FORTIFY_SOURCE=2)
  target_link_options(zrv_options INTERFACE -Wl,-z,relro -Wl,-z,now)
endif()

# Selects the backend source of a seam for the platform being built: NAME_win32.cpp or NAME_posix.cpp.
function(zrv_backend_source out_var dir name)
  if(WIN32)
    set(${out_var} "${dir}/${name}_win32.cpp" PARENT_SCOPE)
  else()
    set(${out_var} "${dir}/${name}_posix.cpp" PARENT_SCOPE)
  endif()
endfunction()

# Declares a link-time seam: TARGET calls functions that it does not link itself; every program that links
# TARGET links PROVIDER too (or, in TARGET's tests, a fake in its place). REASON says why in one line.
# Kept as a property of TARGET, so that the dependency stands where TARGET is built.
function(zrv_link_seam target provider reason)
  set_property(TARGET ${target} APPEND PROPERTY ZRV_LINK_SEAMS "${provider}: ${reason}")
endfunction()

# A program started once per device and transfer (a station runs one per port at a time): the C and C++
# runtimes linked in, position-independent still, since finding, mapping and relocating the shared ones
# was most of its start-up. Not with a sanitizer, whose runtime must be shared.
function(zrv_link_runtimes_statically target)
  if(NOT WIN32 AND ZRV_SANITIZE STREQUAL "")
    target_link_options(${target} PRIVATE -static-pie)
  endif()
endfunction()
