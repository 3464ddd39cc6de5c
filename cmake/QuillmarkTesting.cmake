# quillmark_add_test(<name> SOURCES <files...> LIBS <targets...> [GUI])
#
# Builds one GoogleTest program and registers it with CTest. Every test runs
# on Qt's offscreen platform, so no display is needed; GUI tests get a main()
# that creates a QApplication first.
function(quillmark_add_test name)
  cmake_parse_arguments(ARG "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE quillmark_options ${ARG_LIBS} GTest::gtest)
  if(ARG_GUI)
    target_link_libraries(${name} PRIVATE quillmark_testsupport)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1"
    TIMEOUT 300)
endfunction()
