# cmake -DOBJDUMP=... -DEXECUTABLE=... -DALLOWED=a.dll,b.dll -P check_imports.cmake
# Fails when the import table of EXECUTABLE names a DLL outside ALLOWED, or
# when no import could be read at all (a broken reading must not pass).
cmake_minimum_required(VERSION 3.25)

foreach(var OBJDUMP EXECUTABLE ALLOWED)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_imports: ${var} not given")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${EXECUTABLE}
  OUTPUT_VARIABLE dump RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${EXECUTABLE}: ${errors}")
endif()

string(REPLACE "," ";" allowed "${ALLOWED}")
string(TOLOWER "${allowed}" allowed)

# Both the ordinary and the delay-load import tables print "DLL Name: x".
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
set(names "")
set(foreign "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^DLL Name: " "" name "${line}")
  string(STRIP "${name}" name)
  string(TOLOWER "${name}" name)
  list(APPEND names ${name})
  if(NOT name IN_LIST allowed)
    list(APPEND foreign ${name})
  endif()
endforeach()

if(NOT names)
  message(FATAL_ERROR "no imported DLL found in ${EXECUTABLE}: the check read nothing")
endif()
list(REMOVE_DUPLICATES names)
message(STATUS "${EXECUTABLE} imports: ${names}")
if(foreign)
  list(REMOVE_DUPLICATES foreign)
  message(FATAL_ERROR "${EXECUTABLE} imports DLLs that may be planted beside it: ${foreign}")
endif()
