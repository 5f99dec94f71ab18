# cmake -DNM=... -DFILES=a.a,b.a -P check_thread_model.cmake
# Fails when an object of the given static libraries refers to a function of
# the posix thread library (winpthread), or when nothing could be read.
cmake_minimum_required(VERSION 3.25)

foreach(var NM FILES)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_thread_model: ${var} not given")
  endif()
endforeach()

string(REPLACE "," ";" files "${FILES}")
set(found "")
set(read 0)
foreach(file IN LISTS files)
  execute_process(COMMAND ${NM} -u ${file}
    OUTPUT_VARIABLE undefined RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "nm failed on ${file}: ${errors}")
  endif()
  # Every object refers to something (at least the C++ runtime): an empty
  # listing means the reading failed.
  if(undefined MATCHES " U ")
    math(EXPR read "${read} + 1")
  endif()
  string(REGEX MATCHALL "[^\r\n]* U _*(pthread_|sched_|sem_)[^\r\n]*" hits "${undefined}")
  foreach(hit IN LISTS hits)
    string(STRIP "${hit}" hit)
    list(APPEND found "${file}: ${hit}")
  endforeach()
endforeach()

list(LENGTH files count)
if(NOT read EQUAL count)
  message(FATAL_ERROR "check_thread_model: could not read the symbols of every library")
endif()
if(found)
  list(JOIN found "\n  " lines)
  message(FATAL_ERROR "the installer's code calls the posix thread library, which its "
                      "win32-model C++ runtime does not provide consistently:\n  ${lines}")
endif()
message(STATUS "no thread library function referenced in ${count} libraries")
