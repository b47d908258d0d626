# q710_add_test(NAME name LABEL unit|window|e2e SOURCES ... LIBS ...)
# One GoogleTest executable registered with CTest under a label, so that
# `ctest -L unit` runs a subset. Window tests run on Qt's offscreen platform.
include(GoogleTest)
function(q710_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} test_support GTest::gtest GTest::gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  # The environment goes through a launcher: a list in the ENVIRONMENT
  # property does not survive test discovery's generated script.
  set(environment QT_QPA_PLATFORM=offscreen Q710_SOURCE_DIR=${PROJECT_SOURCE_DIR} Q710_BIN_DIR=${CMAKE_BINARY_DIR}/bin)
  if(Q710_SANITIZE)
    # A sanitizer's report names the fault with its stack; leaks of
    # third-party libraries are listed in tests/lsan.supp.
    list(APPEND environment UBSAN_OPTIONS=print_stacktrace=1
         LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0)
  endif()
  set(launcher ${CMAKE_COMMAND} -E env ${environment})
  set_target_properties(${T_NAME} PROPERTIES CROSSCOMPILING_EMULATOR "${launcher}")
  gtest_discover_tests(${T_NAME}
    PROPERTIES LABELS ${T_LABEL}
    DISCOVERY_TIMEOUT 60)
  # tests_unit, tests_window, tests_e2e: the programs of one label, so a
  # build for a subset of the tests builds only those.
  if(NOT TARGET tests_${T_LABEL})
    add_custom_target(tests_${T_LABEL})
  endif()
  add_dependencies(tests_${T_LABEL} ${T_NAME})
endfunction()

# q710_folder_tests(folder LIBS ...): every unit_*.cpp, window_*.cpp and
# e2e_*.cpp of tests/<folder> becomes one test program per label:
# <folder>_unit, <folder>_window, <folder>_e2e. Shared test helpers of the
# folder are support_*.cpp and go into each.
function(q710_folder_tests folder)
  cmake_parse_arguments(F "" "" "LIBS" ${ARGN})
  file(GLOB support CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support_*.cpp)
  foreach(label unit window e2e)
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${label}_*.cpp)
    if(found)
      q710_add_test(NAME ${folder}_${label} LABEL ${label} SOURCES ${found} ${support} LIBS ${F_LIBS})
    endif()
  endforeach()
endfunction()
