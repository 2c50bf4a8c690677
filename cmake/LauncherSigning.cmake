# Signing launcher.exe (Authenticode, SHA-256), when a release engineer gives a certificate.
# Every link of the launcher is signed right after it, before anything measures its size, so
# the texts' PatchSize is the size of the signed file (see LauncherResources.cmake).
# Without these variables nothing is signed and the build is what it is without signing.
set(LAUNCHER_SIGNING_CERTIFICATE "" CACHE FILEPATH
    "Code-signing certificate: PEM, with LAUNCHER_SIGNING_KEY, or PKCS#12; empty: unsigned")
set(LAUNCHER_SIGNING_KEY "" CACHE FILEPATH
    "The private key (PEM) of a PEM LAUNCHER_SIGNING_CERTIFICATE")
set(LAUNCHER_SIGNING_PASSWORD_FILE "" CACHE FILEPATH
    "File whose first line is the password of the key or of the PKCS#12 file")
set(LAUNCHER_SIGNING_DESCRIPTION "" CACHE STRING "The description the signature shows")
set(LAUNCHER_SIGNING_URL "" CACHE STRING "The URL the signature shows")
set(LAUNCHER_SIGNING_TIMESTAMP_URL "" CACHE STRING
    "An RFC 3161 time-stamp server for the signature; empty: no time stamp")
# A signed release is the unsigned build's bytes with a signature after them, but its texts
# name the signed size. Built again unsigned with the signature's length given here, the
# texts name that size too, and the build is the release's bytes without its signature.
set(LAUNCHER_SIGNATURE_BYTES 0 CACHE STRING
    "Building a signed release again, unsigned: the bytes its signature adds, counted into PatchSize")
if(NOT LAUNCHER_SIGNATURE_BYTES MATCHES "^[0-9]+$")
  message(FATAL_ERROR "LAUNCHER_SIGNATURE_BYTES: a number of bytes, not \"${LAUNCHER_SIGNATURE_BYTES}\"")
endif()

set(LAUNCHER_SIGNING OFF)
set(_signing_given "")
foreach(_name CERTIFICATE KEY PASSWORD_FILE DESCRIPTION URL TIMESTAMP_URL)
  if(NOT LAUNCHER_SIGNING_${_name} STREQUAL "")
    list(APPEND _signing_given LAUNCHER_SIGNING_${_name})
  endif()
endforeach()

if(_signing_given)
  list(JOIN _signing_given ", " _signing_names)
  # signtool takes the password on its command line; the script reads it from the file, so
  # that no build file holds it.
  if(MSVC)
    find_program(LAUNCHER_SIGNER signtool)
    set(_signer signtool)
    set(_signer_hint "the Windows SDK's: run from a Developer Command Prompt")
  else()
    find_program(LAUNCHER_SIGNER osslsigncode)
    set(_signer osslsigncode)
    set(_signer_hint "Debian: apt-get install osslsigncode")
  endif()
  if(NOT LAUNCHER_SIGNER OR NOT EXISTS "${LAUNCHER_SIGNER}")
    message(FATAL_ERROR "${_signing_names} given: signing needs ${_signer}, which was not "
                        "found. Install it (${_signer_hint}), or give its path in LAUNCHER_SIGNER.")
  endif()
  # Checks the certificate's purpose, and reads a PKCS#12 file, before signing.
  find_program(LAUNCHER_OPENSSL openssl)
  if(NOT LAUNCHER_OPENSSL OR NOT EXISTS "${LAUNCHER_OPENSSL}")
    message(FATAL_ERROR "${_signing_names} given: signing needs openssl, which was not found. "
                        "Install it (Debian: apt-get install openssl), or give its path in "
                        "LAUNCHER_OPENSSL.")
  endif()
  if(NOT Python3_FOUND)
    message(FATAL_ERROR "Signing takes Python 3; give Python3_EXECUTABLE.")
  endif()
  if(LAUNCHER_SIGNING_CERTIFICATE STREQUAL "")
    message(FATAL_ERROR "${_signing_names} given without LAUNCHER_SIGNING_CERTIFICATE to sign with.")
  endif()
  foreach(_name CERTIFICATE KEY PASSWORD_FILE)
    set(_file "${LAUNCHER_SIGNING_${_name}}")
    if(NOT _file STREQUAL "" AND NOT EXISTS "${_file}")
      message(FATAL_ERROR "LAUNCHER_SIGNING_${_name}: no such file: ${_file}")
    endif()
  endforeach()
  # A PEM certificate needs its key beside it; a PKCS#12 file carries it.
  file(STRINGS "${LAUNCHER_SIGNING_CERTIFICATE}" _pem LIMIT_COUNT 1
       REGEX "-----BEGIN CERTIFICATE-----")
  if(_pem AND LAUNCHER_SIGNING_KEY STREQUAL "")
    message(FATAL_ERROR "LAUNCHER_SIGNING_CERTIFICATE is a PEM certificate: give its private "
                        "key in LAUNCHER_SIGNING_KEY (or give a PKCS#12 file instead).")
  elseif(NOT _pem AND NOT LAUNCHER_SIGNING_KEY STREQUAL "")
    message(FATAL_ERROR "LAUNCHER_SIGNING_CERTIFICATE is no PEM certificate: a PKCS#12 file "
                        "carries its key, so leave LAUNCHER_SIGNING_KEY empty.")
  elseif(MSVC AND _pem)
    message(FATAL_ERROR "signtool signs with a PKCS#12 (.pfx) LAUNCHER_SIGNING_CERTIFICATE only.")
  endif()

  if(NOT LAUNCHER_SIGNATURE_BYTES EQUAL 0)
    message(FATAL_ERROR "LAUNCHER_SIGNATURE_BYTES is for building a signed release again "
                        "without signing it; with ${_signing_names} given, leave it 0.")
  endif()
  set(LAUNCHER_SIGNING ON)
  set(_sign_launcher ${CMAKE_CURRENT_LIST_DIR}/sign_launcher.py)
  set(LAUNCHER_SIGNING_COMMAND ${Python3_EXECUTABLE} ${_sign_launcher}
      --signer ${LAUNCHER_SIGNER} --openssl ${LAUNCHER_OPENSSL}
      --certificate ${LAUNCHER_SIGNING_CERTIFICATE})
  set(LAUNCHER_SIGNING_INPUTS ${_sign_launcher} ${LAUNCHER_SIGNING_CERTIFICATE})
  foreach(_name KEY PASSWORD_FILE DESCRIPTION URL TIMESTAMP_URL)
    if(NOT LAUNCHER_SIGNING_${_name} STREQUAL "")
      string(TOLOWER ${_name} _option)
      string(REPLACE "_" "-" _option ${_option})
      # One argument, even with a semicolon in it.
      string(REPLACE ";" "$<SEMICOLON>" _value "${LAUNCHER_SIGNING_${_name}}")
      list(APPEND LAUNCHER_SIGNING_COMMAND --${_option} ${_value})
    endif()
  endforeach()
  foreach(_name KEY PASSWORD_FILE)
    if(NOT LAUNCHER_SIGNING_${_name} STREQUAL "")
      list(APPEND LAUNCHER_SIGNING_INPUTS ${LAUNCHER_SIGNING_${_name}})
    endif()
  endforeach()
endif()

# Signs the executable of `target` after each of its links; ARGN adds to the script's
# options. A changed certificate, key or password file links it, and so signs it, again.
function(launcher_sign target)
  if(NOT LAUNCHER_SIGNING)
    return()
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${LAUNCHER_SIGNING_COMMAND} ${ARGN} $<TARGET_FILE:${target}>
    COMMENT "Signing ${target}"
    VERBATIM)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${LAUNCHER_SIGNING_INPUTS})
endfunction()
