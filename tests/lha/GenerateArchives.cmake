# The ctest fixture that makes the generated LHA archives once per run:
#   cmake -DPYTHON=... -DGENERATOR=.../make_crafted.py -DOUT=folder -P GenerateArchives.cmake
# Without python3 or the corpus it makes nothing, and the tests that need
# the archives skip.
file(REMOVE_RECURSE "${OUT}")
if(NOT PYTHON OR NOT EXISTS "${GENERATOR}")
  message(STATUS "No python3 or no LHA corpus: generated archives not made")
  return()
endif()
foreach(batch "crafted;--no-large" "large;--large-only")
  list(GET batch 0 folder)
  list(GET batch 1 option)
  execute_process(COMMAND "${PYTHON}" "${GENERATOR}" "${OUT}/${folder}" ${option} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "make_crafted.py ${option} failed: ${failed}")
  endif()
endforeach()
