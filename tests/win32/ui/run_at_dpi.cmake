# Runs the window's DPI test with the Wine prefix's LogPixels set to one value,
# then removes the value again (Wine's default is 96), pass or fail.
#
#   cmake -DWINE_RUN=<scripts/wine-run> -DTEST_EXE=<exe> -DDPI=<n> -P run_at_dpi.cmake
#
# Wine reads the system resolution from HKCU\Control Panel\Desktop\LogPixels
# when a process starts; no restart of the server is needed.
foreach(var WINE_RUN TEST_EXE DPI)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "run_at_dpi.cmake: ${var} is not set")
  endif()
endforeach()

set(key "HKCU\\Control Panel\\Desktop")
execute_process(COMMAND ${WINE_RUN} reg add ${key} /v LogPixels /t REG_DWORD /d ${DPI} /f
                RESULT_VARIABLE set_result OUTPUT_QUIET ERROR_QUIET)
if(NOT set_result EQUAL 0)
  message(FATAL_ERROR "could not set LogPixels to ${DPI}")
endif()

set(ENV{BRUNVALD_TEST_DPI} ${DPI})
execute_process(COMMAND ${WINE_RUN} ${TEST_EXE} --gtest_filter=Dpi.*
                RESULT_VARIABLE test_result OUTPUT_VARIABLE out ERROR_VARIABLE err)
execute_process(COMMAND ${WINE_RUN} reg delete ${key} /v LogPixels /f OUTPUT_QUIET ERROR_QUIET)

message("${out}")
if(NOT test_result EQUAL 0)
  message(FATAL_ERROR "the DPI test failed at ${DPI} dpi:\n${err}")
endif()
