# Checks what a built extension module contains, with nm:
#   cmake -DNM=nm -DMODULE=path [-DFORBIDDEN=a;b] [-DREQUIRED=c;d] -DEXPORT=name -P CheckModuleSymbols.cmake
# FORBIDDEN and REQUIRED are lists separated by "|".
# FORBIDDEN: demangled symbol fragments that must not appear anywhere in the module.
# REQUIRED: fragments that must appear (proves the check can see the module's symbols).
# EXPORT: the symbols the module may export (usually its one entry point).
cmake_minimum_required(VERSION 3.20)
foreach(var NM MODULE EXPORT)
  if(NOT ${var})
    message(FATAL_ERROR "${var} not given")
  endif()
endforeach()

# Lists arrive separated by "|" so that they pass through add_test unsplit.
string(REPLACE "|" ";" FORBIDDEN "${FORBIDDEN}")
string(REPLACE "|" ";" REQUIRED "${REQUIRED}")
string(REPLACE "|" ";" EXPORT "${EXPORT}")

execute_process(COMMAND ${NM} -C ${MODULE} OUTPUT_VARIABLE symbols RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${MODULE}: ${errors}")
endif()
foreach(fragment IN LISTS FORBIDDEN)
  string(FIND "${symbols}" "${fragment}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "${MODULE} contains ${fragment}")
  endif()
endforeach()
foreach(fragment IN LISTS REQUIRED)
  string(FIND "${symbols}" "${fragment}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${MODULE} lacks ${fragment}")
  endif()
endforeach()

execute_process(COMMAND ${NM} -D --defined-only ${MODULE} OUTPUT_VARIABLE exported RESULT_VARIABLE status)
string(REGEX MATCHALL "[^\n]+" lines "${exported}")
foreach(line IN LISTS lines)
  if(line MATCHES " [TtDdBbRrVvWw] (.+)$" AND NOT CMAKE_MATCH_1 IN_LIST EXPORT)
    # Sanitizer runtimes and the C++ runtime can add weak or data symbols of their own; only functions count.
    if(line MATCHES " T ")
      message(FATAL_ERROR "${MODULE} exports ${CMAKE_MATCH_1} besides ${EXPORT}")
    endif()
  endif()
endforeach()
message(STATUS "${MODULE}: symbols as expected")
