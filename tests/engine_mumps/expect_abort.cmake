# Runs COMMAND (a ;-list) and passes when it ends with a non-zero status and
# its error stream contains EXPECT.
execute_process(COMMAND ${COMMAND} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(status EQUAL 0)
  message(FATAL_ERROR "the job ended with status 0; expected a failure naming '${EXPECT}'\n${out}${err}")
endif()
string(FIND "${err}" "${EXPECT}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "status ${status}, but the error stream does not name '${EXPECT}':\n${err}")
endif()
message(STATUS "ended with status ${status}: ${EXPECT}")
