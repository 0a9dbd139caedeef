# Ranks that read only their band of a sample's rows, under mpirun on two
# ranks against one:
#   - the patchy ice sample (PNG labels) sealed, and a spectrum of the small
#     deck, give the one-rank tensor;
#   - a label that no material carries in the other rank's rows (the top
#     ones), and one in each rank's rows, and a PNG cut short within rank 0's
#     rows, are refused with the one-rank run's status and sentence, once.
# Variables: PROGRAM, MPIEXEC, EXAMPLES, COMPARE, SCRATCH.
cmake_policy(SET CMP0057 NEW)
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}")
set(failure "")

# The status and the program's own lines of standard error of a job of `np` ranks.
function(job np out_status out_lines)
  execute_process(COMMAND ${MPIEXEC} --oversubscribe -np ${np} ${PROGRAM} ${ARGN} RESULT_VARIABLE status
                  OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REGEX MATCHALL "tensor_upscale: [^\n]*" lines "${err}")
  set(${out_status} ${status} PARENT_SCOPE)
  set(${out_lines} "${lines}" PARENT_SCOPE)
endfunction()

macro(same_refusal what expected)
  job(1 status1 lines1 ${ARGN} -o "${SCRATCH}/np1")
  job(2 status2 lines2 ${ARGN} -o "${SCRATCH}/np2")
  if(failure)
  elseif(status1 EQUAL 0 OR NOT lines1 MATCHES "${expected}")
    set(failure "${what}: one rank ended with status ${status1}, expected a refusal matching ${expected}:\n${lines1}")
  elseif(NOT status2 EQUAL status1 OR NOT lines2 STREQUAL lines1)
    set(failure "${what}: two ranks said (status ${status2})\n${lines2}\none rank (status ${status1})\n${lines1}")
  endif()
endmacro()

# The tensor of a PNG-labelled sample, sealed, from two ranks and from the
# own engine; and a spectrum of eight frequencies of the small deck, enough
# for a one-rank run to sweep them by the reduced method, which the ranks,
# each holding its band alone, do not take.
file(COPY "${EXAMPLES}/patchy_ice/sample.toml" "${EXAMPLES}/patchy_ice/labels.png" DESTINATION "${SCRATCH}/patchy")
set(png "${SCRATCH}/patchy/sample.toml" --freq 100 --boundary sealed)
set(spectrum "${EXAMPLES}/ice_small.deck" --freq 1:1e4:8 --frequency-method direct)
foreach(case png spectrum)
  set(run ${${case}} --threads 1 --quiet)
  execute_process(COMMAND ${PROGRAM} ${run} -o "${SCRATCH}/own_${case}" RESULT_VARIABLE s1 ERROR_VARIABLE e1)
  list(REMOVE_ITEM run --frequency-method direct)
  execute_process(COMMAND ${MPIEXEC} --oversubscribe -np 2 ${PROGRAM} ${run} --solver mumps -o "${SCRATCH}/mumps_${case}"
                  RESULT_VARIABLE s2 ERROR_VARIABLE e2)
  execute_process(COMMAND ${COMPARE} "${SCRATCH}/own_${case}/tensor.csv" "${SCRATCH}/mumps_${case}/tensor.csv"
                  RESULT_VARIABLE s3 OUTPUT_VARIABLE o3 ERROR_VARIABLE e3)
  if(NOT failure AND (NOT s1 EQUAL 0 OR NOT s2 EQUAL 0 OR NOT s3 EQUAL 0))
    set(failure "${case} on two ranks against the own engine: statuses ${s1} ${s2} ${s3}\n${e1}${e2}${o3}${e3}")
  endif()
endforeach()

# 12 x 9 cells of the deck's two layers; label 5 marks no material.
function(labels path bad_rows)
  set(text "")
  foreach(row RANGE 0 8)
    set(line "")
    foreach(col RANGE 0 11)
      math(EXPR v "1 + (${row} * 5 + ${col} * 7) % 2")
      if(row IN_LIST bad_rows AND col EQUAL 3)
        set(v 5)
      endif()
      string(APPEND line "${v} ")
    endforeach()
    string(APPEND text "${line}\n")
  endforeach()
  file(WRITE "${path}" "${text}")
endfunction()
set(deck "${EXAMPLES}/ice_small.deck" --freq 100 --threads 1 --quiet --solver mumps)
labels("${SCRATCH}/top.txt" "1")
same_refusal("a bad label in rank 1's rows" "row 1; .*label 5, which no material carries" ${deck} --labels "${SCRATCH}/top.txt")
labels("${SCRATCH}/both.txt" "2;7")
same_refusal("bad labels in both ranks' rows" "row 2; .*label 5" ${deck} --labels "${SCRATCH}/both.txt")

# The patchy labels cut short: the stream ends within rank 0's rows (the base).
file(READ "${EXAMPLES}/patchy_ice/labels.png" png HEX)
string(LENGTH "${png}" length)
math(EXPR keep "${length} * 3 / 4 / 2 * 2")
string(SUBSTRING "${png}" 0 ${keep} png)
string(REGEX REPLACE "(..)" "\\\\x\\1" png "${png}")
file(MAKE_DIRECTORY "${SCRATCH}/short")
file(COPY "${EXAMPLES}/patchy_ice/sample.toml" DESTINATION "${SCRATCH}/short")
execute_process(COMMAND printf "${png}" OUTPUT_FILE "${SCRATCH}/short/labels.png")
same_refusal("a PNG cut short" "labels.png" "${SCRATCH}/short/sample.toml" --freq 100 --threads 1 --quiet --solver mumps)

file(REMOVE_RECURSE "${SCRATCH}")
if(failure)
  message(FATAL_ERROR "${failure}")
endif()
message(STATUS "bands on two ranks: the one-rank tensor and refusals")
