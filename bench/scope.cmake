# The graph monitor: painting an hour of four channels, UI-thread CPU while monitoring, fresh
# values per channel on the simulated line in both protocols, memory per hour, scope file I/O.
if(TARGET vm_scope AND TARGET vm_sim)
  add_executable(bench_scope ${CMAKE_CURRENT_LIST_DIR}/bench_scope.cpp)
  target_link_libraries(bench_scope PRIVATE vm_scope vm_sim)
  target_compile_definitions(bench_scope PRIVATE VARIMON_TEST_DATA_DIR="${VARIMON_DATA_DIR}")
  if(TARGET vm_data)
    add_dependencies(bench_scope vm_data)
  endif()
endif()
