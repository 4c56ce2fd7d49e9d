# Checks that every file under SOURCE_DIR/src includes only headers of its
# own folder or of the folders below it. Run as
#   cmake -DSOURCE_DIR=<dir> -P CheckLayers.cmake
# It fails, naming each wrong-way include, when one is found.

cmake_minimum_required(VERSION 3.25)

# Each folder, and the folders its files may include, itself among them.
set(allowed_model    model)
set(allowed_location model location)
set(allowed_monitor  model location monitor)
set(allowed_ranges   model location monitor ranges)
set(allowed_submit   model location monitor ranges submit)
set(allowed_farm     model location monitor ranges submit farm)
set(allowed_session  model location monitor ranges submit farm session)
set(allowed_ui       model location monitor ranges submit farm session ui)
set(allowed_cli      model location monitor ranges submit farm cli)

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
  message(FATAL_ERROR "Includes that point up the layers:${wrong}")
endif()
list(LENGTH sources count)
message(STATUS "${count} files include only their own layer or those below it")
