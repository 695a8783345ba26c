# The whole stack over a pty: CommManager + SerialPort monitoring stations of varimon-sim.
add_executable(bench_sim ${CMAKE_CURRENT_LIST_DIR}/bench_sim.cpp)
target_link_libraries(bench_sim PRIVATE vm_platform vm_comm)
target_compile_definitions(bench_sim PRIVATE VARIMON_BINARY_DIR="${PROJECT_BINARY_DIR}")
add_dependencies(bench_sim varimon-sim)
