# GoogleTest for the test tiers: the system's packages natively, built from the packaged sources when
# cross-building (no prebuilt Windows GoogleTest exists on Debian).

if(CMAKE_CROSSCOMPILING)
  set(ZRV_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources for the cross build")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${ZRV_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest 1.10 REQUIRED)
  include(GoogleTest)
endif()

# zrv_add_gtest(NAME [NO_TEST] SOURCES ... LIBS ...): one test program; NO_TEST leaves registering it to
# the caller (a program that needs something started first). Natively each test case is its own CTest
# test; under Wine the program runs once as a whole, since every start of a Windows program costs a second.
function(zrv_add_gtest name)
  cmake_parse_arguments(ARG "NO_TEST" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main zrv_options)
  if(ARG_NO_TEST)
    return()
  elseif(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST)
  endif()
endfunction()
