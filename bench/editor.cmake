# Opening an offline parameter editor on the largest data file: editors opened per second, list
# rows filled per second, and the heap one editor holds.
if(TARGET vm_editor)
  add_executable(bench_editor ${CMAKE_CURRENT_LIST_DIR}/bench_editor.cpp)
  target_link_libraries(bench_editor PRIVATE vm_editor)
  target_compile_definitions(bench_editor PRIVATE VARIMON_TEST_DATA_DIR="${VARIMON_DATA_DIR}")
  if(TARGET vm_data)
    add_dependencies(bench_editor vm_data)
  endif()
endif()
