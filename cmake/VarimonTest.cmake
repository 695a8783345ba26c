include(GoogleTest)

# varimon_add_test(<name> LABEL <label> SOURCES <files...> LIBS <targets...> [TIMEOUT <s>] [QT_MAIN])
# One GoogleTest executable per library; every test case becomes a CTest test, discovered at test time.
# QT_MAIN: the suite runs inside a QApplication (widgets, timers, event loops).
function(varimon_add_test name)
  cmake_parse_arguments(T "QT_MAIN" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  if(T_QT_MAIN)
    add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/qt_test_main.cpp)
    target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Widgets GTest::gtest GTest::gmock)
  else()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  endif()
  target_compile_definitions(${name} PRIVATE
    VARIMON_TEST_DATA_DIR="${VARIMON_DATA_DIR}"
    VARIMON_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    VARIMON_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES
      LABELS "${T_LABEL}"
      TIMEOUT ${T_TIMEOUT}
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1:abort_on_error=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan.supp;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endfunction()

# varimon_add_tool_tests(<folder>)
# The tests of a tool-window folder: every source in tests/<folder> joins test_<folder>, run in a
# QApplication on the simulated line (vm_sim) with the compiled Data folder.
function(varimon_add_tool_tests folder)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(NOT sources OR NOT TARGET vm_${folder})
    return()
  endif()
  set(libs vm_${folder} Qt6::Test)
  if(TARGET vm_sim)
    list(APPEND libs vm_sim)
  endif()
  varimon_add_test(test_${folder} QT_MAIN LABEL ${folder} TIMEOUT 300 SOURCES ${sources} LIBS ${libs})
  if(TARGET vm_data)
    add_dependencies(test_${folder} vm_data)
  endif()
endfunction()
