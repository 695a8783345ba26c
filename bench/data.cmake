# The data-file compiler's parse-and-store and dump rates over the shipped sources.
add_executable(bench_data ${CMAKE_CURRENT_LIST_DIR}/bench_data.cpp)
target_link_libraries(bench_data PRIVATE vm_datac)
target_compile_definitions(bench_data PRIVATE VARIMON_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
