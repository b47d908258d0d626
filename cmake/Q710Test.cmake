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
  set_target_properties(${T_NAME} PROPERTIES CROSSCOMPILING_EMULATOR
    "${CMAKE_COMMAND};-E;env;QT_QPA_PLATFORM=offscreen;Q710_SOURCE_DIR=${PROJECT_SOURCE_DIR};Q710_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
  gtest_discover_tests(${T_NAME}
    PROPERTIES LABELS ${T_LABEL}
    DISCOVERY_TIMEOUT 60)
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
