# Checks the direction of the folders' dependencies by their includes:
# - frames/ and the tool-window folders never include monitor/;
# - the report window never includes the editor (the editor opens the report, not the reverse);
# - base/, comm/, catalogue/ and paramdb/ use the standard library only (no Qt at all);
# - the transfer engine uses no Qt Widgets (WIDGETS_DIR: the QtWidgets header folder).
set(offenders "")

function(find_includes dirs regex why)
  foreach(dir ${dirs})
    file(GLOB_RECURSE sources ${ROOT}/${dir}/*.h ${ROOT}/${dir}/*.cpp)
    foreach(f ${sources})
      file(STRINGS ${f} hits REGEX "${regex}")
      if(hits)
        set(offenders ${offenders} "${f} (${why}): ${hits}" PARENT_SCOPE)
      endif()
    endforeach()
  endforeach()
endfunction()

find_includes("frames;editor;keypad;scope;report" "^[ \t]*#[ \t]*include[ \t]*[<\"]monitor/" "includes monitor/")
find_includes("report" "^[ \t]*#[ \t]*include[ \t]*[<\"]editor/" "includes editor/")
find_includes("base;comm;catalogue;paramdb" "^[ \t]*#[ \t]*include[ \t]*<Q" "uses Qt")

# Every class header QtWidgets offers, as an include alternative.
file(GLOB widget_headers RELATIVE ${WIDGETS_DIR} ${WIDGETS_DIR}/Q*)
list(FILTER widget_headers INCLUDE REGEX "^Q[A-Za-z]+$")
list(JOIN widget_headers "|" names)
foreach(dir transfer)
  if(EXISTS ${ROOT}/${dir})
    find_includes("${dir}" "^[ \t]*#[ \t]*include[ \t]*<(QtWidgets/|(${names})>)" "uses Qt Widgets")
  endif()
endforeach()

if(offenders)
  string(REPLACE ";" "\n" text "${offenders}")
  message(FATAL_ERROR "folders reach against their layering:\n${text}")
endif()
list(LENGTH widget_headers count)
if(count LESS 50)
  message(FATAL_ERROR "found only ${count} QtWidgets headers in '${WIDGETS_DIR}'; the check would see nothing")
endif()
message(STATUS "layering kept: tool windows off monitor/, pure folders without Qt, transfer without widgets")
