# Line-paced against tick-paced scheduling over a pty on the wire-timed simulator: transactions/s
# against the wire bound, transfers of the largest data file, and the graph monitor's fresh values.
add_executable(bench_pacing ${CMAKE_CURRENT_LIST_DIR}/bench_pacing.cpp)
target_link_libraries(bench_pacing PRIVATE vm_platform vm_comm vm_transfer vm_scope)
target_include_directories(bench_pacing PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(bench_pacing PRIVATE VARIMON_BINARY_DIR="${PROJECT_BINARY_DIR}"
                                                VARIMON_DATA_DIR="${VARIMON_DATA_DIR}"
                                                VARIMON_TEST_DATA_DIR="${VARIMON_DATA_DIR}")
add_dependencies(bench_pacing varimon-sim)
