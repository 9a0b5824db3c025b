# A short fuzzing run for CTest: copies the seed inputs to a scratch
# folder, then runs the fuzzer for a bounded time.
#   -DFUZZER=<binary> -DSEEDS=<folder> -DPATTERN=<glob of seed names>
#   -DWORK=<scratch folder> -DSECONDS=<n> -DTIMEOUT=<seconds for one input>
#   -DMAX_LEN=<largest input>
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/corpus")
file(GLOB seeds "${SEEDS}/${PATTERN}")
if(NOT seeds)
  message(FATAL_ERROR "no seed inputs in ${SEEDS}")
endif()
file(COPY ${seeds} DESTINATION "${WORK}/corpus")
execute_process(
  COMMAND "${FUZZER}" -max_total_time=${SECONDS} -timeout=${TIMEOUT} -rss_limit_mb=2560
          -max_len=${MAX_LEN} -print_final_stats=1 "${WORK}/corpus"
  WORKING_DIRECTORY "${WORK}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  get_filename_component(name "${FUZZER}" NAME)
  message(FATAL_ERROR "${name} failed (${status}); the crashing input is in ${WORK}")
endif()
