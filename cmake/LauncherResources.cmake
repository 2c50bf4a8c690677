# What the executable carries: the patch package, the patch-information texts, the string
# tables, and the two version strings. A release engineer sets these to build the launcher
# of their own service pack.
find_package(Python3 COMPONENTS Interpreter)

set(LAUNCHER_SAMPLE_PACKAGE ${CMAKE_BINARY_DIR}/sample/sample.msp)
set(LAUNCHER_PATCH_PACKAGE "${LAUNCHER_SAMPLE_PACKAGE}" CACHE FILEPATH
    "The Windows Installer patch package (.msp) to embed")
set(LAUNCHER_PATCH_INFO_DIR "${CMAKE_SOURCE_DIR}/resources/patch_info" CACHE PATH
    "Folder of patch-information texts: <id>.txt (neutral) and <id>.1046.txt, ids from 206")
set(LAUNCHER_TARGET_VERSION "8.2.0.4" CACHE STRING
    "The version the patch brings a product to (string 700)")
set(LAUNCHER_CANDIDATE_VERSIONS "8.0.24.6,8.1.0.3," CACHE STRING
    "The versions the patch applies to, each followed by a comma (string 900)")

if(LAUNCHER_PATCH_PACKAGE STREQUAL LAUNCHER_SAMPLE_PACKAGE)
  if(NOT Python3_FOUND)
    message(FATAL_ERROR "The sample package is made with Python 3; "
                        "set LAUNCHER_PATCH_PACKAGE to your own .msp instead.")
  endif()
  # The sample patch brings its products to the target version; a changed version must
  # remake it, so the version is a file the command depends on.
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/sample/target-version.txt
       CONTENT "@LAUNCHER_TARGET_VERSION@")
  set(_sample_sources
    ${CMAKE_SOURCE_DIR}/resources/sample_package/make_sample_package.py
    ${CMAKE_SOURCE_DIR}/resources/sample_package/target_products.txt
    ${CMAKE_BINARY_DIR}/sample/target-version.txt)
  add_custom_command(
    OUTPUT ${LAUNCHER_SAMPLE_PACKAGE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/sample
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/resources/sample_package/make_sample_package.py
            --output ${LAUNCHER_SAMPLE_PACKAGE} --target-version ${LAUNCHER_TARGET_VERSION}
    DEPENDS ${_sample_sources}
    COMMENT "Making the sample patch package"
    VERBATIM)
  add_custom_target(sample_package DEPENDS ${LAUNCHER_SAMPLE_PACKAGE})
  # Lets the resource compiler's dependency on the package file make it first.
  set_source_files_properties(${LAUNCHER_SAMPLE_PACKAGE} PROPERTIES GENERATED TRUE)
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
file(GLOB _info_files CONFIGURE_DEPENDS ${LAUNCHER_PATCH_INFO_DIR}/*.txt)
set(_info_lines "")
set(LAUNCHER_PATCH_INFO_FILES "")
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
  launcher_rc_string(_path "${_file}")
  string(APPEND _info_lines "LANGUAGE ${_language}\n${_id} TXT \"${_path}\"\n")
  list(APPEND LAUNCHER_PATCH_INFO_FILES ${_file})
endforeach()

set(_generated ${CMAKE_BINARY_DIR}/generated)
launcher_rc_string(LAUNCHER_RC_PACKAGE "${LAUNCHER_PATCH_PACKAGE}")
launcher_rc_string(LAUNCHER_RC_TARGET_VERSION "${LAUNCHER_TARGET_VERSION}")
launcher_rc_string(LAUNCHER_RC_CANDIDATE_VERSIONS "${LAUNCHER_CANDIDATE_VERSIONS}")
set(LAUNCHER_RC_PATCH_INFO "${_info_lines}")
configure_file(${CMAKE_SOURCE_DIR}/resources/payload.rc.in ${_generated}/payload.rc @ONLY)

set(LAUNCHER_RESOURCE_SCRIPT ${CMAKE_SOURCE_DIR}/resources/launcher.rc)
file(GLOB _string_tables CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/strings/*.rc)
set_source_files_properties(${LAUNCHER_RESOURCE_SCRIPT} PROPERTIES
  OBJECT_DEPENDS "${LAUNCHER_PATCH_PACKAGE};${LAUNCHER_PATCH_INFO_FILES};${_string_tables};${_generated}/payload.rc")
if(MINGW)
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001 -I ${_generated} -I ${CMAKE_SOURCE_DIR}/resources")
else()
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} /c65001 /I \"${_generated}\" /I \"${CMAKE_SOURCE_DIR}/resources\"")
endif()
