# GoogleTest: Debian's packaged build natively; for the cross build, compiled from the sources
# that Debian's googletest package puts under /usr/src/googletest.
if(CMAKE_CROSSCOMPILING)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# vqz_add_test(NAME SOURCES... [LIBS ...] [LABELS ...])
# One test executable whose cases CTest lists one by one (through Wine on the cross build).
function(vqz_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock)
  if(CMAKE_CROSSCOMPILING)
    # Each Wine start costs a second or so: one CTest test per executable, not per case.
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}" TIMEOUT 600)
    # Windows of tests run side by side on one display take the keyboard focus from each other.
    if("window" IN_LIST T_LABELS)
      set_tests_properties(${name} PROPERTIES RESOURCE_LOCK display_focus)
    endif()
  else()
    gtest_discover_tests(${name} PROPERTIES LABELS "${T_LABELS}" TIMEOUT 300)
  endif()
endfunction()
