# add_brevio_test(name SOURCES a.cpp ... [LIBS lib ...] [LABELS l ...] [GUI])
# One GoogleTest program registered with CTest test by test. GUI tests get the
# main that creates a QApplication (offscreen unless a platform is chosen).
function(add_brevio_test name)
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_GUI)
    target_link_libraries(${name} PRIVATE brevio_test_main_qt)
    list(APPEND T_LABELS gui)  # kept last: an explicit area label wins
  else()
    target_link_libraries(${name} PRIVATE brevio_test_main)
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
  # Test discovery flattens a list of labels into separate arguments, so each
  # program carries one label: its area (GUI programs without one get "gui").
  set(labels "")
  if(T_LABELS)
    list(GET T_LABELS 0 labels)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
    PROPERTIES LABELS "${labels}" TIMEOUT 300)
endfunction()
