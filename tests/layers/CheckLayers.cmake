# Checks that every file under SOURCE_DIR/src includes only headers of its
# own folder or of the folders beneath it in the table of cmake/Layers.cmake.
# Run as
#   cmake -DSOURCE_DIR=<dir> -P CheckLayers.cmake
# It fails, naming each wrong-way include, when one is found.

cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/Layers.cmake)
foreach(layer IN LISTS quillstrand_layers)
  quillstrand_layers_seen(${layer} allowed_${layer})
endforeach()

file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}/src"
     "${SOURCE_DIR}/src/*.h" "${SOURCE_DIR}/src/*.cpp")
set(wrong "")
foreach(source IN LISTS sources)
  string(REGEX MATCH "^[^/]+" folder "${source}")
  if(NOT DEFINED allowed_${folder})
    string(APPEND wrong "\n  ${source}: folder ${folder} is not a known layer")
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/src/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^/\"]+/")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^/\"]+)/.*" "\\1" target "${line}")
    if(NOT target IN_LIST allowed_${folder})
      string(APPEND wrong "\n  ${source}: ${line}")
    endif()
  endforeach()
endforeach()

if(wrong)
  message(FATAL_ERROR "Includes that the layers do not allow:${wrong}")
endif()
list(LENGTH sources count)
message(STATUS "${count} files include only their own layer or those below it")
