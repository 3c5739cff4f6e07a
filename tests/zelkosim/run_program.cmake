# Runs the zelkosim program on one script and checks its exit status, its
# standard output against a file (byte for byte) and its standard error.
#   -DPROGRAM= -DSCRIPT= [-DSTDIN=1] -DEXPECTED_STATUS= [-DEXPECTED=file] [-DEXPECTED_ERROR=text]
if(STDIN)
  execute_process(COMMAND ${PROGRAM} INPUT_FILE ${SCRIPT}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
else()
  execute_process(COMMAND ${PROGRAM} ${SCRIPT}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
endif()
if(NOT status STREQUAL "${EXPECTED_STATUS}")
  message(FATAL_ERROR "exit status ${status}, expected ${EXPECTED_STATUS}\nstdout:\n${out}\nstderr:\n${err}")
endif()
if(DEFINED EXPECTED)
  file(READ ${EXPECTED} want)
  if(NOT out STREQUAL want)
    message(FATAL_ERROR "stdout differs from ${EXPECTED}\n--- got:\n${out}--- expected:\n${want}")
  endif()
endif()
if(DEFINED EXPECTED_ERROR)
  if(NOT err STREQUAL "${EXPECTED_ERROR}\n")
    message(FATAL_ERROR "stderr:\n${err}\nexpected:\n${EXPECTED_ERROR}")
  endif()
elseif(NOT err STREQUAL "")
  message(FATAL_ERROR "unexpected stderr:\n${err}")
endif()
