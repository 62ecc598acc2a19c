# The house rules of the source tree: no folder under src/ includes the application's headers
# (app/ wires the parts together; nothing below reaches up to it), and no source file is longer
# than 500 lines. Run as: cmake -DSRC=<src folder> -P check_structure.cmake
file(GLOB_RECURSE sources RELATIVE "${SRC}" "${SRC}/*.cpp" "${SRC}/*.h")
set(faults "")
foreach(source IN LISTS sources)
  file(READ "${SRC}/${source}" text)
  string(REGEX MATCHALL "\n" ends "${text}")
  list(LENGTH ends count)
  if(count GREATER 500)
    string(APPEND faults "\n  ${source}: ${count} lines (at most 500)")
  endif()
  if(NOT source MATCHES "^app/" AND "\n${text}" MATCHES "\n#include \"(app/[^\"]*)\"")
    string(APPEND faults "\n  ${source} reaches up to the application: ${CMAKE_MATCH_1}")
  endif()
endforeach()
if(faults)
  message(FATAL_ERROR "the source tree breaks its rules:${faults}")
endif()
