# Rebuilds a record file from its text form and compares it with the shipped one.
execute_process(COMMAND ${CFGTOOL} build ${TEXT} ${OUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cfgtool failed on ${TEXT}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${SHIPPED} RESULT_VARIABLE same)
if(NOT same EQUAL 0)
  message(FATAL_ERROR "${SHIPPED} differs from what ${TEXT} gives: run cfgtool build ${TEXT} ${SHIPPED}")
endif()
