# Runs `vortrim -l -e` (the static and the dynamic build) and the C baseline on a full 128-patch bank, each under
# GNU time, and prints each one's peak resident memory.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/vortrim ${WORK}/dynamic ${WORK}/baseline)
execute_process(COMMAND ${WRITE_BANK} ${WORK}/FULL.KAA COMMAND_ERROR_IS_FATAL ANY)
set(vortrim_command ${VORTRIM} -i${WORK}/FULL.KAA -l -e${WORK}/vortrim)
set(dynamic_command ${DYNAMIC} -i${WORK}/FULL.KAA -l -e${WORK}/dynamic)
set(baseline_command ${BASELINE} ${WORK}/FULL.KAA ${WORK}/baseline)
foreach(run vortrim dynamic baseline)
  # GNU time reports on its own standard error, after the program's end.
  execute_process(COMMAND ${TIME} -v ${${run}_command}
                  OUTPUT_QUIET ERROR_VARIABLE report RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "${run} failed (${rc}): ${report}")
  endif()
  string(REGEX MATCH "Maximum resident set size \\(kbytes\\): ([0-9]+)" found "${report}")
  set(${run}_kib ${CMAKE_MATCH_1})
endforeach()
math(EXPR difference "${vortrim_kib} - ${baseline_kib}")
message("peak resident memory, -l -e on a full 128-patch bank:\n"
        "  vortrim (static)  ${vortrim_kib} KiB\n"
        "  vortrim (dynamic) ${dynamic_kib} KiB, as in the .deb\n"
        "  C baseline        ${baseline_kib} KiB\n"
        "  static - baseline ${difference} KiB (target: within 1024)")
