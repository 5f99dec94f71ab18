# A planted version.dll beside a program that reads its own version.
# cmake -DPROBE=... -DPLANTED=... -DWINE_RUN=... -DWORK=... -DEXPECTED=... -P run_planted.cmake
#
# Wine prefers its built-in DLLs; the override below makes it prefer a DLL
# found beside the program, as Windows does for DLLs that are not KnownDLLs.
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=;version,msimg32,uxtheme=n,b")

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(COPY_FILE ${PROBE} ${WORK}/probe.exe)
file(COPY_FILE ${PLANTED} ${WORK}/version.dll)
set(marker ${WORK}/version.dll.loaded)

# Control: a plain LoadLibraryW does load the planted DLL here. Without this,
# a passing check below could mean only that the setup never loads it.
execute_process(COMMAND ${WINE_RUN} ${WORK}/probe.exe --plain
  WORKING_DIRECTORY ${WORK} OUTPUT_VARIABLE out RESULT_VARIABLE status)
if(NOT EXISTS ${marker})
  message(FATAL_ERROR "control failed: a plain load did not pick up the planted DLL "
                      "(status ${status}, output '${out}')")
endif()
file(REMOVE ${marker})

execute_process(COMMAND ${WINE_RUN} ${WORK}/probe.exe
  WORKING_DIRECTORY ${WORK} OUTPUT_VARIABLE out RESULT_VARIABLE status)
if(EXISTS ${marker})
  message(FATAL_ERROR "the planted version.dll was loaded (output '${out}')")
endif()
if(NOT status EQUAL 0 OR NOT out STREQUAL EXPECTED)
  message(FATAL_ERROR "version not read through the system's version.dll: "
                      "status ${status}, output '${out}', expected '${EXPECTED}'")
endif()
message(STATUS "planted DLL ignored, version ${out}")
