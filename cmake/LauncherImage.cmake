# What every link of the launcher gets after it, before anything measures its size or signs
# it: MinGW's image is marked to run from the swap file (MSVC's link does that itself, with
# /SWAPRUN), then it is signed when signing is set up (see LauncherSigning.cmake).
if(MINGW)
  if(NOT Python3_FOUND)
    message(FATAL_ERROR "Marking launcher.exe to run from the swap file takes Python 3; "
                        "give Python3_EXECUTABLE.")
  endif()
  set(_mark_run_from_swap ${CMAKE_CURRENT_LIST_DIR}/mark_run_from_swap.py)
endif()

# After each link of `target`: marked, then signed; ARGN adds to the signing's options.
function(launcher_finish_link target)
  if(MINGW)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${Python3_EXECUTABLE} ${_mark_run_from_swap} $<TARGET_FILE:${target}>
      VERBATIM)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${_mark_run_from_swap})
  endif()
  launcher_sign(${target} ${ARGN})
endfunction()
