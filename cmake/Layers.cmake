# The layers, one folder of src/ each, and the layers each sits right over.
# A layer's files may include its own headers and those of every layer
# beneath it, however far down, but never past the session: the window
# reaches the core through the session, and nothing above the session sees
# behind it. The libraries link the same way (src/CMakeLists.txt) and
# the CTest layers_include_only_downwards checks the includes
# (tests/layers/CheckLayers.cmake), both from this one table.
set(quillstrand_layers model location monitor ranges submit farm session ui cli)
set(quillstrand_over_model)
set(quillstrand_over_location model)
set(quillstrand_over_monitor model location)
set(quillstrand_over_ranges model location)
set(quillstrand_over_submit model location)
set(quillstrand_over_farm monitor ranges)
set(quillstrand_over_session farm submit)
# The window sits over the session and the model alone: everything else of
# the core it reaches through the session.
set(quillstrand_over_ui session model)
set(quillstrand_over_cli farm submit)

# The layer the window reaches the core through: those over it see it, not
# what lies beneath it.
set(quillstrand_door session)

# quillstrand_layers_seen(layer out): `layer` and every layer whose headers
# its files may include.
function(quillstrand_layers_seen layer out)
  set(seen ${layer})
  foreach(below IN LISTS quillstrand_over_${layer})
    if(below STREQUAL "${quillstrand_door}")
      list(APPEND seen ${below})
    else()
      quillstrand_layers_seen(${below} beneath)
      list(APPEND seen ${beneath})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES seen)
  set(${out} ${seen} PARENT_SCOPE)
endfunction()
