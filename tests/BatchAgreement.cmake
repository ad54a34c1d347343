cmake_minimum_required(VERSION 3.25)
# `batch` against the single-file commands on the bundled samples, two short records and two files
# that cannot be read: the CSV must hold, row by row in input order, the very text `hazard`,
# `hazard --unwarned`, `metrics` and `criteria` print for each file (or the message they fail
# with), the JSON the same numbers, and neither may depend on the number of jobs. Run in a fresh
# folder WORK.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(GLOB samples ${DATA}/samples/*.ORV)
file(COPY ${samples} ${TESTDATA}/TINY.ORV ${TESTDATA}/SHORT2.ORV ${TESTDATA}/GARBAGE.ORV
     DESTINATION ${WORK})
set(files BLAST170.ORV MISSING.ORV PISTOL155.ORV TINY.ORV GARBAGE.ORV RIFLE160.ORV SHORT2.ORV)
set(failing 2)

# Runs orvek-cli in WORK; `out` and `err` receive its output, `expected_rc` is checked.
function(cli out err expected_rc)
  execute_process(COMMAND ${CLI} ${ARGN} WORKING_DIRECTORY ${WORK}
                  OUTPUT_VARIABLE stdout ERROR_VARIABLE stderr RESULT_VARIABLE rc)
  if(NOT rc STREQUAL expected_rc)
    message(FATAL_ERROR "orvek-cli ${ARGN}: exit code ${rc}, expected ${expected_rc}\n${stderr}")
  endif()
  set(${out} "${stdout}" PARENT_SCOPE)
  set(${err} "${stderr}" PARENT_SCOPE)
endfunction()

# The number text after "key": in a command's JSON output; null is an empty CSV cell.
function(field json key result)
  if(NOT json MATCHES "\"${key}\": ([^,\n]+)")
    message(FATAL_ERROR "no ${key} in\n${json}")
  endif()
  if(CMAKE_MATCH_1 STREQUAL "null")
    set(CMAKE_MATCH_1 "")
  endif()
  set(${result} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

set(criteria_keys lpk_db lpk_true_db lcpeak_db lcpeak_true_db peak_time_ms a_duration_ms
    b_duration_ms lae_db liaeq100ms_db a_duration_corrected_ms liaeq8hr_db dose_percent allowed)
string(REPLACE ";" "," criteria_header "${criteria_keys}")
string(REGEX REPLACE "[^;]+" "" criteria_empty "${criteria_keys}")  # one separator fewer than keys
string(REPLACE ";" "," criteria_empty ",${criteria_empty}")

cli(summary err 1 batch ${files} --jobs 1 --csv one.csv --json one.json --data ${DATA})
cli(summary err 1 batch ${files} --jobs 3 --csv three.csv --json three.json --data ${DATA})
cli(summary err 1 batch ${files} --unwarned --csv unwarned.csv --data ${DATA})
list(LENGTH files count)
if(NOT summary MATCHES "\"files\": ${count},\n  \"failed\": ${failing},")
  message(FATAL_ERROR "summary:\n${summary}")
endif()

set(csv "file,aru_warned,aru_unwarned,peak_level_db,laeq8hr,na,error,${criteria_header}\r\n")
set(unwarned_csv "${csv}")
set(index 0)
foreach(file IN LISTS files)
  execute_process(COMMAND ${CLI} metrics ${file} WORKING_DIRECTORY ${WORK}
                  OUTPUT_VARIABLE metrics ERROR_VARIABLE failure RESULT_VARIABLE rc)
  if(rc EQUAL 0)
    cli(warned err 0 hazard ${file} --data ${DATA})
    cli(unwarned err 0 hazard ${file} --unwarned --data ${DATA})
    cli(criteria err 0 criteria ${file})
    field("${warned}" aru aru_warned)
    field("${unwarned}" aru aru_unwarned)
    set(values "")
    foreach(key peak_level_db laeq8hr na)
      field("${metrics}" ${key} value)
      string(APPEND values ",${value}")
    endforeach()
    set(criteria_values "")
    foreach(key IN LISTS criteria_keys)
      field("${criteria}" ${key} value)
      string(APPEND criteria_values ",${value}")
    endforeach()
    string(APPEND csv "${file},${aru_warned},${aru_unwarned}${values},${criteria_values}\r\n")
    string(APPEND unwarned_csv "${file},,${aru_unwarned}${values},${criteria_values}\r\n")
    # The JSON rows: the same numbers once parsed.
    file(READ ${WORK}/one.json document)
    foreach(key aru_warned aru_unwarned peak_level_db laeq8hr na ${criteria_keys})
      if(key MATCHES "^aru_(.*)")
        string(JSON single_value GET "${${CMAKE_MATCH_1}}" aru)
      elseif(key IN_LIST criteria_keys)
        string(JSON single_value GET "${criteria}" ${key})
      else()
        string(JSON single_value GET "${metrics}" ${key})
      endif()
      string(JSON batch_value GET "${document}" rows ${index} ${key})
      if(NOT batch_value STREQUAL single_value)
        message(FATAL_ERROR "${file} ${key}: batch ${batch_value}, single ${single_value}")
      endif()
    endforeach()
  else()
    # The row holds the message the command fails with, quoted as CSV quotes it.
    string(REGEX REPLACE "^orvek-cli: (.*)\n$" "\\1" message "${failure}")
    string(REPLACE "\"" "\"\"" message "${message}")
    string(APPEND csv "${file},,,,,,\"${message}\"${criteria_empty}\r\n")
    string(APPEND unwarned_csv "${file},,,,,,\"${message}\"${criteria_empty}\r\n")
  endif()
  math(EXPR index "${index} + 1")
endforeach()

foreach(pair "one.csv;csv" "three.csv;csv" "unwarned.csv;unwarned_csv")
  list(GET pair 0 name)
  list(GET pair 1 variable)
  # Compared byte for byte: file(READ) would drop the carriage returns.
  file(WRITE ${WORK}/expected-${name} "${${variable}}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/${name}
                          ${WORK}/expected-${name} RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "${name} differs from the single commands (expected-${name})")
  endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/one.json ${WORK}/three.json
                RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "the JSON file depends on the number of jobs")
endif()
