# The committed demo bank must be what the generator makes today.
execute_process(COMMAND ${GENERATOR} ${GENERATED} RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "make_demo_bank failed: ${rc}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${GENERATED} ${COMMITTED}
                RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "${COMMITTED} is stale; rebuild it with make_demo_bank")
endif()
