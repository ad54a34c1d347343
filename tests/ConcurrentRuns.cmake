cmake_minimum_required(VERSION 3.25)
# Runs that share a file, started together, lose nothing: two first fits of different protectors
# are both stored in the catalogue and each run alone reports its own fit; two runs appending to
# "TOB.txt" keep every line. DATA is copied to WORK, so the shipped folder is never written.
file(REMOVE_RECURSE ${WORK})
file(COPY ${DATA}/ DESTINATION ${WORK}/data)
file(COPY ${TESTDATA}/RIFLE160.ORV DESTINATION ${WORK})
set(cli "\"${CLI}\"")
set(protect "${cli} protect RIFLE160.ORV --data data")
set(compare "${cli} compare RIFLE160.ORV RIFLE160.ORV --append-tob --data data")
set(script "
${protect} --protector 'Foam earplug' -o A.ORV > a.json &
${protect} --protector 'Passive earmuff' -o B.ORV > b.json &
wait
${protect} --protector 'Foam earplug' -o C.ORV > c.json
for i in 1 2 3 4 5 6 7 8 9 10; do ${compare} > /dev/null & ${compare} > /dev/null & wait; done
")
execute_process(COMMAND sh -c "${script}" WORKING_DIRECTORY ${WORK} ERROR_VARIABLE err
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT err STREQUAL "")
  message(FATAL_ERROR "the runs failed (${rc}): ${err}")
endif()
foreach(run a b c)
  file(READ ${WORK}/${run}.json json)
  string(JSON fitted${run} GET "${json}" fitted_now)
endforeach()
if(NOT fitteda OR NOT fittedb OR fittedc)
  message(FATAL_ERROR "fitted_now: ${fitteda} ${fittedb} ${fittedc}; expected ON ON OFF")
endif()
file(STRINGS "${WORK}/data/HPD Atten.txt" unfitted REGEX "^Circuit values[^\t]*\t0\r?$")
list(LENGTH unfitted left)
if(NOT left EQUAL 8)
  message(FATAL_ERROR "${left} records are unfitted; the two fits should leave 8 of 10")
endif()
file(STRINGS "${WORK}/data/Dat/Hearing Protectors/TOB.txt" lines)
list(LENGTH lines count)
if(NOT count EQUAL 21)
  message(FATAL_ERROR "TOB.txt holds ${count} lines; 1 header and 20 results expected")
endif()
