# Fails when a source file under src/ includes a header of a folder above its
# own. The folders in order, lowest first; a folder may include its own
# headers and those of folders before it, never those after it, so the
# folders cannot include each other in a circle.
#   cmake -DSOURCE_DIR=src -P cmake/check_layers.cmake
set(layers base links vjoy engine devices shell)

file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
set(violations "")
foreach(file ${files})
  string(REGEX MATCH "^[^/]+" folder ${file})
  list(FIND layers ${folder} rank)
  if(rank EQUAL -1)
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${file} includes REGEX "^#include \"[^/\"]+/")
  foreach(line ${includes})
    string(REGEX REPLACE "^#include \"([^/\"]+)/.*" "\\1" included ${line})
    list(FIND layers ${included} includedRank)
    if(includedRank GREATER rank)
      string(APPEND violations "  src/${file} (${folder}) includes ${included}/\n")
    endif()
  endforeach()
endforeach()
if(violations)
  message(FATAL_ERROR "includes that reach a layer above their own:\n${violations}")
endif()
