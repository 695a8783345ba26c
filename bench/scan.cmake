# A scan of all IDs through varimonctl over a pty, quick against normal.
add_executable(bench_scan ${CMAKE_CURRENT_LIST_DIR}/bench_scan.cpp)
target_link_libraries(bench_scan PRIVATE Qt6::Core)
target_compile_definitions(bench_scan PRIVATE VARIMON_BINARY_DIR="${PROJECT_BINARY_DIR}")
add_dependencies(bench_scan varimon-sim varimonctl)
