# Loading the largest compiled data file and formatting every item's value.
add_executable(bench_paramdb ${CMAKE_CURRENT_LIST_DIR}/bench_paramdb.cpp)
target_link_libraries(bench_paramdb PRIVATE vm_paramdb)
target_compile_definitions(bench_paramdb PRIVATE VARIMON_DATA_DIR="${VARIMON_DATA_DIR}")
if(TARGET vm_data)
  add_dependencies(bench_paramdb vm_data)
endif()
