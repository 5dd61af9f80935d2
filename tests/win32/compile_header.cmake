# Compiles HEADER alone, as C with CC and as C++ with CXX; fails on any warning.
foreach(tool CC CXX)
  if(NOT ${tool} OR NOT EXISTS "${${tool}}")
    message(FATAL_ERROR "No 32-bit MinGW compiler (${tool}); install g++-mingw-w64-i686 (tools/install-deps.sh test)")
  endif()
endforeach()
execute_process(COMMAND "${CC}" -x c -std=c11 -Wall -Wextra -Werror -fsyntax-only "${HEADER}"
                RESULT_VARIABLE c_result)
execute_process(COMMAND "${CXX}" -x c++ -std=c++17 -Wall -Wextra -Werror -fsyntax-only "${HEADER}"
                RESULT_VARIABLE cxx_result)
if(NOT c_result EQUAL 0 OR NOT cxx_result EQUAL 0)
  message(FATAL_ERROR "${HEADER} does not compile for i686-w64-mingw32 (C: ${c_result}, C++: ${cxx_result})")
endif()
message(STATUS "${HEADER} compiles as C and C++ for i686-w64-mingw32")
