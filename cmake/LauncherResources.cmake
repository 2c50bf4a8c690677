# What the executable carries: the patch package, the patch-information texts, the string
# tables, and the two version strings, read from the package. A release engineer sets these
# to build the launcher of their own service pack.
find_package(Python3 COMPONENTS Interpreter)

set(LAUNCHER_SAMPLE_PACKAGE ${CMAKE_BINARY_DIR}/sample/sample.msp)
set(LAUNCHER_PATCH_PACKAGE "${LAUNCHER_SAMPLE_PACKAGE}" CACHE FILEPATH
    "The Windows Installer patch package (.msp) to embed")
set(LAUNCHER_PATCH_INFO_DIR "${CMAKE_SOURCE_DIR}/resources/patch_info" CACHE PATH
    "Folder of patch-information texts: <id>.txt (neutral) and <id>.1046.txt, ids from 206")
set(LAUNCHER_TARGET_VERSION "" CACHE STRING
    "The version the patch brings a product to (string 700); empty: read from the package")
set(LAUNCHER_CANDIDATE_VERSIONS "" CACHE STRING
    "The versions the patch applies to, each followed by a comma (string 900); empty: read from the package")
option(LAUNCHER_CHECK_PACKAGE
       "Read the versions from the package, and refuse versions and texts that contradict it" ON)

if(LAUNCHER_PATCH_PACKAGE STREQUAL LAUNCHER_SAMPLE_PACKAGE)
  if(NOT Python3_FOUND)
    message(FATAL_ERROR "The sample package is made with Python 3; "
                        "set LAUNCHER_PATCH_PACKAGE to your own .msp instead.")
  endif()
  # Made here, not at build time, so that it can be read below like any package. The script
  # leaves an unchanged package alone, so configuring again rebuilds nothing.
  set(_sample_script ${CMAKE_SOURCE_DIR}/resources/sample_package/make_sample_package.py)
  set(_sample_arguments --output ${LAUNCHER_SAMPLE_PACKAGE})
  if(NOT LAUNCHER_TARGET_VERSION STREQUAL "")
    list(APPEND _sample_arguments --target-version ${LAUNCHER_TARGET_VERSION})
  endif()
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/sample)
  execute_process(COMMAND ${Python3_EXECUTABLE} ${_sample_script} ${_sample_arguments}
                  RESULT_VARIABLE _made ERROR_VARIABLE _why)
  if(NOT _made EQUAL 0)
    message(FATAL_ERROR "Making the sample package failed:\n${_why}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_sample_script}
               ${CMAKE_SOURCE_DIR}/resources/sample_package/target_products.txt)
elseif(NOT EXISTS "${LAUNCHER_PATCH_PACKAGE}")
  message(FATAL_ERROR "LAUNCHER_PATCH_PACKAGE: no such file: ${LAUNCHER_PATCH_PACKAGE}")
endif()

# Text in a resource script string: a double quote is doubled, a backslash escaped.
function(launcher_rc_string out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\"\"" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The patch-information texts, in id order: "<id>.txt" neutral, "<id>.1046.txt" in 1046.
# A text with a PatchSize line stands in the folder of a placeholder: which copy of it a
# link takes in depends on the link (see below).
set(_sized_marker "<sized texts>")
file(GLOB _info_files CONFIGURE_DEPENDS ${LAUNCHER_PATCH_INFO_DIR}/*.txt)
set(_info_lines "")
set(LAUNCHER_PATCH_INFO_FILES "")
set(LAUNCHER_SIZED_TEXTS "")
set(_sized_names "")
foreach(_file IN LISTS _info_files)
  get_filename_component(_name ${_file} NAME)
  if(_name MATCHES "^([0-9]+)\\.txt$")
    set(_language "0, 0")
  elseif(_name MATCHES "^([0-9]+)\\.1046\\.txt$")
    set(_language "0x16, 0x01")
  else()
    continue()
  endif()
  set(_id ${CMAKE_MATCH_1})
  if(_id LESS 206)
    continue()
  endif()
  file(STRINGS "${_file}" _size_line LIMIT_COUNT 1 REGEX "^PatchSize=")
  if(_size_line)
    set(_path "${_sized_marker}/${_name}")
    list(APPEND LAUNCHER_SIZED_TEXTS ${_file})
    list(APPEND _sized_names ${_name})
  else()
    launcher_rc_string(_path "${_file}")
  endif()
  string(APPEND _info_lines "LANGUAGE ${_language}\n${_id} TXT \"${_path}\"\n")
  list(APPEND LAUNCHER_PATCH_INFO_FILES ${_file})
endforeach()

# Strings 700 and 900: read from the package, or checked against it where given.
if(LAUNCHER_CHECK_PACKAGE)
  if(NOT Python3_FOUND)
    message(FATAL_ERROR "Reading the package takes Python 3; or configure with "
                        "-DLAUNCHER_CHECK_PACKAGE=OFF and give both versions.")
  endif()
  set(_reader ${CMAKE_CURRENT_LIST_DIR}/read_patch_package.py)
  set(_text_arguments "")
  foreach(_file IN LISTS LAUNCHER_PATCH_INFO_FILES)
    list(APPEND _text_arguments --text ${_file})
  endforeach()
  execute_process(
    COMMAND ${Python3_EXECUTABLE} ${_reader} --package ${LAUNCHER_PATCH_PACKAGE}
            ${_text_arguments} --target-version "${LAUNCHER_TARGET_VERSION}"
            --candidate-versions "${LAUNCHER_CANDIDATE_VERSIONS}"
            --output ${CMAKE_BINARY_DIR}/package_versions.cmake
    RESULT_VARIABLE _read OUTPUT_VARIABLE _said ERROR_VARIABLE _why)
  if(NOT _read EQUAL 0)
    message(FATAL_ERROR "${_why}")
  endif()
  string(REGEX REPLACE "\n$" "" _said "${_said}")
  string(REPLACE "\n" "\n   " _said "${_said}")
  message(STATUS "Patch package ${LAUNCHER_PATCH_PACKAGE}:\n   ${_said}")
  include(${CMAKE_BINARY_DIR}/package_versions.cmake)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_reader}
               ${CMAKE_CURRENT_LIST_DIR}/compound_file.py
               ${CMAKE_CURRENT_LIST_DIR}/summary_information.py
               ${LAUNCHER_PATCH_PACKAGE} ${LAUNCHER_PATCH_INFO_FILES})
else()
  if(LAUNCHER_TARGET_VERSION STREQUAL "" OR LAUNCHER_CANDIDATE_VERSIONS STREQUAL "")
    message(FATAL_ERROR "With LAUNCHER_CHECK_PACKAGE off, give both LAUNCHER_TARGET_VERSION "
                        "and LAUNCHER_CANDIDATE_VERSIONS.")
  endif()
  message(STATUS "LAUNCHER_CHECK_PACKAGE is off: versions taken as given; nothing was checked "
                 "against the package.")
  set(LAUNCHER_BUILT_TARGET_VERSION "${LAUNCHER_TARGET_VERSION}")
  set(LAUNCHER_BUILT_CANDIDATE_VERSIONS "${LAUNCHER_CANDIDATE_VERSIONS}")
endif()

# Every text's PatchSize line, in every language, carries the size of the finished
# launcher.exe: Windows may find any language's copy for a neutral lookup (it tries the
# thread's language first), and /p writes the copy it finds. The release engineer's files
# are never changed: the executable takes in copies of them whose line the build fills in
# with the size of an executable linked just before, from the same objects. So the launcher
# is linked in passes, each with the size of the one before it, and launcher.exe is the
# last. Every other byte of the texts is taken as it is.
#
# Why this converges, and three passes before launcher.exe are enough: the number's value
# moves no byte of the image; only its digit count changes the texts' length, and with it
# the resource section by a few bytes. The section is padded to the file alignment (512
# bytes), so the file size changes only when the texts cross a padding boundary, and then
# by one step, in the direction the texts grew: once every text carries the same number,
# the size depends on its digit count alone and grows with it. Pass 0 links with the
# engineer's numbers, pass 1 with the size of pass 0, pass 2 with the size of pass 1. The
# digit count of pass 2's number differs from pass 1's only when pass 1's size crossed a
# power of ten, and pass 2's one step, in the same direction, cannot cross back; so pass
# 2's size has the digit count pass 2 was linked with, and launcher.exe, linked with that
# size, has exactly that size: the fixed point. A check after the last link fails the build,
# and removes the executable, should a linker ever make the size depend on more than that.
# Texts without a PatchSize line are taken as they are, in one link.
# Signed, every pass grows by its signature, whose length does not depend on the number
# either: the same argument holds for the signed sizes. Some signatures vary in length from
# one signing to the next by a few bytes (ECDSA, time stamps); launcher.exe is signed again
# until it has the size its text names, and the check says when that failed.
set(LAUNCHER_PATCH_SIZE_PASSES 0)
# Whether a text has the line is read when configuring.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${LAUNCHER_PATCH_INFO_FILES})
if(LAUNCHER_SIZED_TEXTS)
  if(NOT Python3_FOUND)
    message(FATAL_ERROR "Filling in the PatchSize of ${LAUNCHER_SIZED_TEXTS} takes Python 3; "
                        "give Python3_EXECUTABLE.")
  endif()
  set(LAUNCHER_PATCH_SIZE_PASSES 3)
endif()
set(_patch_size_dir ${CMAKE_BINARY_DIR}/patch_size)
set(_fill_patch_size ${CMAKE_CURRENT_LIST_DIR}/fill_patch_size.py)

set(_generated ${CMAKE_BINARY_DIR}/generated)
launcher_rc_string(LAUNCHER_RC_PACKAGE "${LAUNCHER_PATCH_PACKAGE}")
launcher_rc_string(LAUNCHER_RC_TARGET_VERSION "${LAUNCHER_BUILT_TARGET_VERSION}")
launcher_rc_string(LAUNCHER_RC_CANDIDATE_VERSIONS "${LAUNCHER_BUILT_CANDIDATE_VERSIONS}")
file(GLOB _string_tables CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/strings/*.rc)

# The copies, in `dir`, of the texts with a PatchSize line.
function(launcher_sized_texts out dir)
  set(_texts ${_sized_names})
  list(TRANSFORM _texts PREPEND ${dir}/)
  set(${out} ${_texts} PARENT_SCOPE)
endfunction()

# Writes the resource script of one link into `dir`, taking the texts with a PatchSize line
# from `sized_dir`; the script's own folder is searched first for "payload.rc".
function(launcher_resource_script dir sized_dir)
  launcher_rc_string(_path "${sized_dir}")
  string(REPLACE "${_sized_marker}" "${_path}" LAUNCHER_RC_PATCH_INFO "${_info_lines}")
  configure_file(${CMAKE_SOURCE_DIR}/resources/payload.rc.in ${dir}/payload.rc @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/resources/launcher.rc ${dir}/launcher.rc COPYONLY)
  launcher_sized_texts(_sized ${sized_dir})
  set(_inputs ${LAUNCHER_PATCH_PACKAGE} ${LAUNCHER_PATCH_INFO_FILES} ${_sized}
              ${_string_tables} ${dir}/payload.rc)
  set_source_files_properties(${dir}/launcher.rc PROPERTIES OBJECT_DEPENDS "${_inputs}")
endfunction()

launcher_resource_script(${_generated} ${_patch_size_dir})
set(LAUNCHER_RESOURCE_SCRIPT ${_generated}/launcher.rc)

if(MINGW)
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001 -I ${CMAKE_SOURCE_DIR}/resources")
else()
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} /c65001 /I \"${CMAKE_SOURCE_DIR}/resources\"")
endif()

# The texts with a PatchSize line are copied into `dir` with the size of the executable of
# `target`; `out` becomes the list of the copies.
function(launcher_fill_command out dir target)
  launcher_sized_texts(_outputs ${dir})
  add_custom_command(
    OUTPUT ${_outputs}
    COMMAND ${Python3_EXECUTABLE} ${_fill_patch_size} --size-of $<TARGET_FILE:${target}>
            --output-dir ${dir} --plus ${LAUNCHER_SIGNATURE_BYTES} ${LAUNCHER_SIZED_TEXTS}
    DEPENDS ${target} ${LAUNCHER_SIZED_TEXTS} ${_fill_patch_size}
    COMMENT "PatchSize: the size of ${target}"
    VERBATIM)
  set(${out} ${_outputs} PARENT_SCOPE)
endfunction()

# Gives `to` the properties `names` of `from`, those `from` has.
function(launcher_copy_properties from to)
  foreach(_name IN LISTS ARGN)
    get_target_property(_value ${from} ${_name})
    if(NOT _value STREQUAL "_value-NOTFOUND")
      set_property(TARGET ${to} PROPERTY ${_name} ${_value})
    endif()
  endforeach()
endfunction()

# Links `target`, the launcher, in the passes described above. Call it once the target is
# complete: the passes link the very objects of the launcher, with its libraries and
# options, which is what makes their sizes its size. With signing set up (see
# LauncherSigning.cmake) every pass is signed before its size is taken, and so is the
# launcher before the check: the size is that of the signed file. Every link is finished
# (see LauncherImage.cmake) before it is signed.
function(launcher_fill_patch_size target)
  if(LAUNCHER_PATCH_SIZE_PASSES EQUAL 0)
    launcher_finish_link(${target})
    return()
  endif()
  set(_configs ${CMAKE_CONFIGURATION_TYPES} ${CMAKE_BUILD_TYPE})
  list(TRANSFORM _configs TOUPPER)
  list(TRANSFORM _configs PREPEND INTERPROCEDURAL_OPTIMIZATION_ OUTPUT_VARIABLE _ipo_configs)
  set(_compiling COMPILE_DEFINITIONS COMPILE_OPTIONS COMPILE_FEATURES INCLUDE_DIRECTORIES
                 LINK_LIBRARIES INTERPROCEDURAL_OPTIMIZATION ${_ipo_configs})
  set(_linking LINK_LIBRARIES LINK_OPTIONS LINK_DIRECTORIES LINK_FLAGS WIN32_EXECUTABLE
               INTERPROCEDURAL_OPTIMIZATION ${_ipo_configs})

  # The code is compiled once, for the launcher and its passes alike.
  get_target_property(_sources ${target} SOURCES)
  set(_code ${_sources})
  list(FILTER _code INCLUDE REGEX "\\.(c|cc|cpp|cxx)$")
  list(FILTER _sources EXCLUDE REGEX "\\.(c|cc|cpp|cxx)$")
  add_library(${target}_objects OBJECT ${_code})
  launcher_copy_properties(${target} ${target}_objects ${_compiling})
  set_property(TARGET ${target} PROPERTY SOURCES ${_sources} $<TARGET_OBJECTS:${target}_objects>)

  set(_previous "")
  math(EXPR _last "${LAUNCHER_PATCH_SIZE_PASSES} - 1")
  foreach(_pass RANGE ${_last})
    set(_pass_target ${target}_size_pass${_pass})
    set(_dir ${_patch_size_dir}/pass${_pass})
    set(_extra "")
    if(_previous)
      launcher_fill_command(_extra ${_dir} ${_previous})
      set(_texts_dir ${_dir})
    else()
      set(_texts_dir ${LAUNCHER_PATCH_INFO_DIR})
    endif()
    launcher_resource_script(${_dir} ${_texts_dir})
    add_executable(${_pass_target} ${_dir}/launcher.rc ${_extra} $<TARGET_OBJECTS:${target}_objects>)
    # Its resource script is compiled as the launcher's is, too.
    launcher_copy_properties(${target} ${_pass_target} ${_compiling} ${_linking})
    # Same file name in its own folder: a debug build's PDB path, written into the image,
    # has the same length in every pass.
    set_target_properties(${_pass_target} PROPERTIES OUTPUT_NAME ${target}
                          RUNTIME_OUTPUT_DIRECTORY ${_dir})
    launcher_finish_link(${_pass_target})
    list(APPEND _linked ${_pass_target})
    set(_previous ${_pass_target})
  endforeach()
  list(APPEND _linked ${target})
  if(MSVC)
    foreach(_linked_target IN LISTS _linked)
      # An incremental link pads the image as it likes; the PDB path is written as the bare
      # file name, the same in every pass.
      target_link_options(${_linked_target} PRIVATE /INCREMENTAL:NO /PDBALTPATH:%_PDB%)
    endforeach()
  endif()

  launcher_fill_command(_final ${_patch_size_dir} ${_previous})
  target_sources(${target} PRIVATE ${_final})
  list(GET _final 0 _first)
  launcher_finish_link(${target} --size-in ${_first})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${Python3_EXECUTABLE} ${_fill_patch_size} --check $<TARGET_FILE:${target}>
            --plus ${LAUNCHER_SIGNATURE_BYTES} ${_final}
    VERBATIM)
endfunction()
