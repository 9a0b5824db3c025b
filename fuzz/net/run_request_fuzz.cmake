# A short fuzzing run for CTest: copies the seed replies to a scratch
# folder, then runs the request fuzzer for a bounded time.
#   -DFUZZER=<binary> -DSEEDS=<folder> -DWORK=<scratch folder> -DSECONDS=<n>
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/corpus")
file(GLOB seeds "${SEEDS}/*")
if(NOT seeds)
  message(FATAL_ERROR "no seed replies in ${SEEDS}")
endif()
file(COPY ${seeds} DESTINATION "${WORK}/corpus")
# -timeout: one exchange lasting far past the request's own 5 s time-out
# is a hang.
execute_process(
  COMMAND "${FUZZER}" -max_total_time=${SECONDS} -timeout=30 -rss_limit_mb=2560
          -max_len=8192 -print_final_stats=1 "${WORK}/corpus"
  WORKING_DIRECTORY "${WORK}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "net_request_fuzz failed (${status}); the crashing input is in ${WORK}")
endif()
