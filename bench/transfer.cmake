# Upload and download of the largest data file through the whole stack over a pty.
add_executable(bench_transfer ${CMAKE_CURRENT_LIST_DIR}/bench_transfer.cpp)
target_link_libraries(bench_transfer PRIVATE vm_platform vm_comm vm_transfer)
target_compile_definitions(bench_transfer PRIVATE VARIMON_BINARY_DIR="${PROJECT_BINARY_DIR}"
                                                  VARIMON_DATA_DIR="${VARIMON_DATA_DIR}")
add_dependencies(bench_transfer varimon-sim)
