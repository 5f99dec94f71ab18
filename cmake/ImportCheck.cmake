# brunvald_add_import_check(<test name> <executable target> [ALLOWED <dll>...])
#
# Adds a test that reads the import table of the built executable with
# objdump and fails when it names any DLL that Windows might load from the
# executable's own folder. Allowed: KnownDLLs (always taken from the system
# folder), ntdll (loaded before any search) and comctl32 (redirected to the
# side-by-side copy by the application manifest); ALLOWED narrows that to the
# DLLs given.
set(BRUNVALD_IMPORT_CHECK_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/check_imports.cmake)

set(BRUNVALD_ALLOWED_IMPORTS
  ntdll.dll kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll msvcrt.dll
  ole32.dll oleaut32.dll shlwapi.dll comdlg32.dll imm32.dll rpcrt4.dll sechost.dll
  combase.dll shcore.dll psapi.dll setupapi.dll ws2_32.dll wldap32.dll normaliz.dll
  nsi.dll msctf.dll clbcatq.dll imagehlp.dll difxapi.dll gdiplus.dll coml2.dll
  comctl32.dll)

function(brunvald_add_import_check test_name target)
  cmake_parse_arguments(PARSE_ARGV 2 ARG "" "" "ALLOWED")
  if(NOT CMAKE_OBJDUMP)
    message(FATAL_ERROR "brunvald_add_import_check: no objdump for this toolchain")
  endif()
  if(NOT ARG_ALLOWED)
    set(ARG_ALLOWED ${BRUNVALD_ALLOWED_IMPORTS})
  endif()
  string(REPLACE ";" "," allowed "${ARG_ALLOWED}")
  add_test(NAME ${test_name}
    COMMAND ${CMAKE_COMMAND}
      -DOBJDUMP=${CMAKE_OBJDUMP}
      -DEXECUTABLE=$<TARGET_FILE:${target}>
      -DALLOWED=${allowed}
      -P ${BRUNVALD_IMPORT_CHECK_SCRIPT})
  set_tests_properties(${test_name} PROPERTIES LABELS "imports")
endfunction()
