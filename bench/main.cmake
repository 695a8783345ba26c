# The main window monitoring 32 stations of varimon-sim over a pty: UI thread CPU share and list
# cells repainted per second.
add_executable(bench_main ${CMAKE_CURRENT_LIST_DIR}/bench_main.cpp)
target_link_libraries(bench_main PRIVATE vm_monitor Qt6::Test)
target_compile_definitions(bench_main PRIVATE VARIMON_SIM_PROGRAM="$<TARGET_FILE:varimon-sim>"
                                              VARIMON_DATA_DIR="${VARIMON_DATA_DIR}")
add_dependencies(bench_main varimon-sim)
if(TARGET vm_data)
  add_dependencies(bench_main vm_data)
endif()
