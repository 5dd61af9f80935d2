# Octave stands in for MATLAB as the MEX host: the MEX files are built from the
# same sources against Octave's mex.h and loaded by Octave in the tests.
if(KORCAM_WITH_OCTAVE AND NOT WIN32)
  find_program(MKOCTFILE mkoctfile REQUIRED)
  find_program(OCTAVE_CLI NAMES octave-cli octave REQUIRED)
  execute_process(COMMAND ${MKOCTFILE} -p OCTINCLUDEDIR OUTPUT_VARIABLE OCTAVE_INCLUDE_DIR OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${MKOCTFILE} -p OCTLIBDIR OUTPUT_VARIABLE OCTAVE_LIB_DIR OUTPUT_STRIP_TRAILING_WHITESPACE)
  message(STATUS "Octave headers: ${OCTAVE_INCLUDE_DIR}")
endif()

# korcam_add_mex(<name> SOURCES ... LIBRARIES ... [HELP file.m]): an Octave MEX
# file <name>.mex in the build's top folder, finding the project's libraries
# through its rpath; HELP copies a help file beside it as <name>.m, which
# `help <name>` reads while the MEX file runs.
function(korcam_add_mex name)
  cmake_parse_arguments(MEX "" "HELP" "SOURCES;LIBRARIES" ${ARGN})
  if(MEX_HELP)
    configure_file(${MEX_HELP} ${PROJECT_BINARY_DIR}/${name}.m COPYONLY)
  endif()
  add_library(${name} MODULE ${MEX_SOURCES})
  target_include_directories(${name} SYSTEM PRIVATE ${OCTAVE_INCLUDE_DIR} ${OCTAVE_INCLUDE_DIR}/octave)
  target_compile_definitions(${name} PRIVATE MEX_DEBUG=0)
  target_link_directories(${name} PRIVATE ${OCTAVE_LIB_DIR})
  target_link_libraries(${name} PRIVATE ${MEX_LIBRARIES} octinterp octave)
  set_target_properties(${name} PROPERTIES
    PREFIX "" SUFFIX ".mex"
    LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}
    BUILD_RPATH "${PROJECT_BINARY_DIR}"
    INSTALL_RPATH "$ORIGIN")
endfunction()
