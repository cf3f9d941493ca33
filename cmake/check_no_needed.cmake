# cmake -DBINARY=path -DFORBIDDEN=name -P check_no_needed.cmake
# Fails when the ELF binary names a shared library containing FORBIDDEN among its needs.
execute_process(COMMAND readelf -d ${BINARY} OUTPUT_VARIABLE dynamic RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "readelf failed on ${BINARY}")
endif()
string(REGEX MATCHALL "NEEDED[^\n]*" needed "${dynamic}")
foreach(line ${needed})
  if(line MATCHES "${FORBIDDEN}")
    message(FATAL_ERROR "${BINARY} needs ${line}")
  endif()
endforeach()
message(STATUS "${BINARY}: no ${FORBIDDEN} among ${needed}")
