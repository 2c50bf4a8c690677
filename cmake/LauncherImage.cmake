# What every link of the launcher gets after it, before anything measures its size or signs
# it: a large resource section of MinGW's image is moved to a page boundary of the file, so
# that Wine maps it rather than copying it into memory (Windows maps either), and the image is
# marked to run from the swap file (MSVC's link does that itself, with /SWAPRUN); then it is
# signed when signing is set up (see LauncherSigning.cmake).
if(MINGW)
  if(NOT Python3_FOUND)
    message(FATAL_ERROR "Finishing the image of launcher.exe takes Python 3; "
                        "give Python3_EXECUTABLE.")
  endif()
  set(_mark_run_from_swap ${CMAKE_CURRENT_LIST_DIR}/mark_run_from_swap.py)
  set(_align_resource_section ${CMAKE_CURRENT_LIST_DIR}/align_resource_section.py)
endif()

# After each link of `target`, the Python script `script` is run on it; a change of the script
# links it again.
function(launcher_after_link target script)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${Python3_EXECUTABLE} ${script} $<TARGET_FILE:${target}>
    VERBATIM)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
endfunction()

# Moves the resource section of `target` to a page boundary when it is large.
function(launcher_align_resource_section target)
  if(MINGW)
    launcher_after_link(${target} ${_align_resource_section})
  endif()
endfunction()

# After each link of `target`: aligned, marked, then signed; ARGN adds to the signing's
# options.
function(launcher_finish_link target)
  launcher_align_resource_section(${target})
  if(MINGW)
    launcher_after_link(${target} ${_mark_run_from_swap})
  endif()
  launcher_sign(${target} ${ARGN})
endfunction()
