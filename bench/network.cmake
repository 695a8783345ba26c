# Monitoring through ser2net against the local pty, and the cost of publishing to mosquitto.
add_executable(bench_network ${CMAKE_CURRENT_LIST_DIR}/bench_network.cpp)
target_link_libraries(bench_network PRIVATE vm_platform vm_comm vm_publish)
target_compile_definitions(bench_network PRIVATE VARIMON_BINARY_DIR="${PROJECT_BINARY_DIR}")
add_dependencies(bench_network varimon-sim)
