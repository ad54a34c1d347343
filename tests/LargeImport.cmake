cmake_minimum_required(VERSION 3.25)
# `import` of text files too large to read at once (more than 67,108,864 bytes): a one-column
# file is one channel and the output says so; a file whose first line of numbers holds two values
# may be channels or columns, so it needs --channels. Run in a fresh folder WORK.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
# 1,040,000 lines of 65 bytes (67.6 MB): no more samples than an ORV file holds.
string(REPEAT "0" 62 zeros)
string(REPEAT "0.${zeros}\n" 1040000 text)
file(WRITE ${WORK}/one.txt "${text}")
string(REPEAT "-.${zeros},1\n" 1040000 text)
file(WRITE ${WORK}/two.txt "${text}")
unset(text)

function(cli expected_rc needle)
  execute_process(COMMAND ${CLI} import ${ARGN} WORKING_DIRECTORY ${WORK}
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc STREQUAL expected_rc)
    message(FATAL_ERROR "import ${ARGN}: exit code ${rc}, expected ${expected_rc}\n${err}")
  endif()
  string(FIND "${out}${err}" "${needle}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "import ${ARGN} does not say \"${needle}\":\n${out}${err}")
  endif()
endfunction()

cli(0 "as 1 channel from line 1 on, and channel 0 gave 1040000 samples at 200000 samples/s"
    one.txt -o one.ORV)
cli(1 "its first line of numbers holds 2 values: give the number of multiplexed channels with --channels N"
    two.txt -o two.ORV)
cli(0 "\"data_min\": 1.0" two.txt --channels 2 --channel 1 -o two.ORV)
file(REMOVE_RECURSE ${WORK})
