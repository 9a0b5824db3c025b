# A short fuzzing run for CTest: seeds the corpus with the conformance
# documents in a scratch folder, then runs the fuzzer for a bounded time.
#   -DFUZZER=<binary> -DSEEDS=<folder> -DWORK=<scratch folder> -DSECONDS=<n>
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/corpus")
file(GLOB seeds "${SEEDS}/*.json")
if(NOT seeds)
  message(FATAL_ERROR "no seed documents in ${SEEDS}")
endif()
file(COPY ${seeds} DESTINATION "${WORK}/corpus")
execute_process(
  COMMAND "${FUZZER}" -max_total_time=${SECONDS} -timeout=20 -rss_limit_mb=2560
          -max_len=65536 -print_final_stats=1 "${WORK}/corpus"
  WORKING_DIRECTORY "${WORK}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "json_decoder_fuzz failed (${status}); the crashing input is in ${WORK}")
endif()
