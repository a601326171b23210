# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the keyed message database from its SQL text:
#   cmake -DSQLCIPHER=... -DSQL=msg.sql -DOUTPUT=.../sys/msg -DKEY=... -DKEY_ROUNDS=...
#         -P build_msg.cmake
# The file is built under a temporary name and moved into place, so a failed
# build never leaves a half-made database behind.
foreach(var SQLCIPHER SQL OUTPUT KEY KEY_ROUNDS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "build_msg.cmake: ${var} is not set")
  endif()
endforeach()

get_filename_component(folder "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${folder}")
set(partial "${OUTPUT}.partial")
set(script "${OUTPUT}.input")
file(REMOVE "${partial}" "${partial}-journal")
file(WRITE "${script}" "PRAGMA key = '${KEY}';\nPRAGMA kdf_iter = ${KEY_ROUNDS};\n.read '${SQL}'\n")
execute_process(
  COMMAND "${SQLCIPHER}" -bail "${partial}"
  INPUT_FILE "${script}"
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE errors)
file(REMOVE "${script}")
if(NOT result EQUAL 0 OR NOT errors STREQUAL "")
  file(REMOVE "${partial}")
  message(FATAL_ERROR "Building ${OUTPUT} from ${SQL} failed (${result}):\n${output}${errors}")
endif()
file(RENAME "${partial}" "${OUTPUT}")
