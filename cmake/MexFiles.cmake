# The project's MEX files, for whichever host the build has:
# - "octave": Octave stands in for MATLAB on Linux; the MEX files are built
#   from the same sources against Octave's mex.h and loaded by Octave in the
#   tests;
# - "windows": <name>.mexw32 or .mexw64 against the MEX interface libraries
#   named by KORCAM_MEX_LIBRARIES (the stand-in kit/mex in the project's
#   build, MATLAB's own libmex and libmx in the bench build of cmake/bench),
#   with a module definition file that exports KORCAM_MEX_EXPORTS
#   (mexFunction) and nothing else, and KORCAM_MEX_EXTRA_SOURCES (what the
#   MATLAB found asks every MEX file to carry);
# - empty: no MEX files.
if(WIN32)
  set(KORCAM_MEX_HOST windows)
  if(NOT DEFINED KORCAM_MEX_LIBRARIES)
    set(KORCAM_MEX_LIBRARIES kormex kormx)
  endif()
  if(NOT DEFINED KORCAM_MEX_EXPORTS)
    set(KORCAM_MEX_EXPORTS mexFunction)
  endif()
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(KORCAM_MEX_SUFFIX .mexw64)
  else()
    set(KORCAM_MEX_SUFFIX .mexw32)
  endif()
elseif(KORCAM_WITH_OCTAVE)
  set(KORCAM_MEX_HOST octave)
  find_program(MKOCTFILE mkoctfile REQUIRED)
  find_program(OCTAVE_CLI NAMES octave-cli octave REQUIRED)
  execute_process(COMMAND ${MKOCTFILE} -p OCTINCLUDEDIR OUTPUT_VARIABLE OCTAVE_INCLUDE_DIR OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${MKOCTFILE} -p OCTLIBDIR OUTPUT_VARIABLE OCTAVE_LIB_DIR OUTPUT_STRIP_TRAILING_WHITESPACE)
  message(STATUS "Octave headers: ${OCTAVE_INCLUDE_DIR}")
else()
  set(KORCAM_MEX_HOST "")
endif()

# korcam_add_mex(<name> SOURCES ... LIBRARIES ... [HELP file.m]): a MEX file
# <name> in the build's top folder, beside the project's libraries (Octave
# finds them through its rpath); HELP copies a help file beside it as
# <name>.m, which `help <name>` reads while the MEX file runs.
function(korcam_add_mex name)
  cmake_parse_arguments(MEX "" "HELP" "SOURCES;LIBRARIES" ${ARGN})
  if(MEX_HELP AND NOT CMAKE_CONFIGURATION_TYPES)
    configure_file(${MEX_HELP} ${PROJECT_BINARY_DIR}/${name}.m COPYONLY)
  endif()
  if(KORCAM_MEX_HOST STREQUAL "octave")
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
  elseif(KORCAM_MEX_HOST STREQUAL "windows")
    # A MEX file exports mexFunction only (and what MATLAB asks for): anything
    # else it defines would be reachable by name from every other module in
    # the MATLAB process.
    # MATLAB's own mex.h does not mark it for export with every compiler.
    set(exports ${CMAKE_CURRENT_BINARY_DIR}/${name}.def)
    list(JOIN KORCAM_MEX_EXPORTS "\n    " names)
    file(WRITE ${exports} "EXPORTS\n    ${names}\n")
    add_library(${name} SHARED ${MEX_SOURCES} ${KORCAM_MEX_EXTRA_SOURCES} ${exports})
    target_link_libraries(${name} PRIVATE ${MEX_LIBRARIES} ${KORCAM_MEX_LIBRARIES})
    set_target_properties(${name} PROPERTIES
      PREFIX "" SUFFIX ${KORCAM_MEX_SUFFIX}
      RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}
      ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    # Sizes are 32 bits wide in a 32-bit process: a warning there may be a
    # size computation that overflows, so none is let through by the
    # compilers the project is checked with (Microsoft's was never run here).
    if(NOT MSVC)
      set_target_properties(${name} PROPERTIES COMPILE_WARNING_AS_ERROR ON)
    endif()
    if(MEX_HELP AND CMAKE_CONFIGURATION_TYPES)
      # Beside the MEX file in the folder of each configuration.
      get_filename_component(help ${MEX_HELP} ABSOLUTE)
      add_custom_command(TARGET ${name} POST_BUILD
                         COMMAND ${CMAKE_COMMAND} -E copy_if_different ${help} $<TARGET_FILE_DIR:${name}>/${name}.m)
    endif()
  else()
    message(FATAL_ERROR "korcam_add_mex(${name}): this build has no MEX host")
  endif()
endfunction()
