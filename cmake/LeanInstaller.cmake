# How the shipped installer is linked, apart from the tests: small.
#
# brunvald_make_lean(<target>)
#   - links ui/lean_runtime.cpp into it (see there: no demangler, no
#     reference-counted std::string from the library's exception helpers);
#   - links it against the C++ runtime of the compiler's *win32* thread model
#     when the toolchain names that compiler (BRUNVALD_WIN32_THREADS_CXX). The
#     posix model, which the tests need for std::mutex, makes the runtime's own
#     locks (exception allocation, static initialisation) pull in the whole
#     winpthread library; the win32 model uses the system's primitives. The
#     program's own objects call no function of the posix thread library (the
#     test "installer.thread_model" checks that), so the thread model of the
#     headers they were compiled with does not show in them (a runtime
#     function that only the posix model has would fail the link);
#   - strips it, except in the Debug and RelWithDebInfo configurations.
#
# BRUNVALD_INSTALLER_RUNTIME_DIR (cache) holds the win32-model runtime folder;
# set it empty to link the installer like the tests.

if(BRUNVALD_WIN32_THREADS_CXX AND NOT DEFINED CACHE{BRUNVALD_INSTALLER_RUNTIME_DIR})
  set(runtime_dir "")
  find_program(BRUNVALD_WIN32_THREADS_CXX_PATH ${BRUNVALD_WIN32_THREADS_CXX})
  if(BRUNVALD_WIN32_THREADS_CXX_PATH)
    execute_process(COMMAND ${BRUNVALD_WIN32_THREADS_CXX_PATH} -print-libgcc-file-name
                    OUTPUT_VARIABLE win32_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-libgcc-file-name
                    OUTPUT_VARIABLE own_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(win32_dir "${win32_libgcc}" DIRECTORY)
    get_filename_component(own_dir "${own_libgcc}" DIRECTORY)
    get_filename_component(win32_parent "${win32_dir}" DIRECTORY)
    get_filename_component(own_parent "${own_dir}" DIRECTORY)
    get_filename_component(win32_name "${win32_dir}" NAME)
    get_filename_component(own_name "${own_dir}" NAME)
    # Only the same compiler release in its other thread model will do
    # (Debian: .../12-posix and .../12-win32 side by side).
    string(REGEX REPLACE "-(posix|win32)$" "" win32_release "${win32_name}")
    string(REGEX REPLACE "-(posix|win32)$" "" own_release "${own_name}")
    if(win32_parent STREQUAL own_parent AND win32_release STREQUAL own_release
       AND EXISTS "${win32_dir}/libstdc++.a" AND EXISTS "${win32_dir}/crtbegin.o")
      set(runtime_dir "${win32_dir}")
    endif()
  endif()
  if(runtime_dir)
    message(STATUS "Installer links the win32 thread model's C++ runtime: ${runtime_dir}")
  else()
    message(STATUS "Installer links the compiler's own C++ runtime (no matching win32 thread model found)")
  endif()
  set(BRUNVALD_INSTALLER_RUNTIME_DIR "${runtime_dir}" CACHE PATH
      "C++ runtime folder (win32 thread model) the installer links against; empty: the compiler's own")
endif()

function(brunvald_make_lean target)
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/ui/lean_runtime.cpp)
  if(BRUNVALD_INSTALLER_RUNTIME_DIR)
    # -B makes the driver take crtbegin.o/crtend.o and libstdc++, libgcc and
    # libgcc_eh from that folder, all of one thread model.
    target_link_options(${target} PRIVATE "-B${BRUNVALD_INSTALLER_RUNTIME_DIR}/")
  endif()
  target_link_options(${target} PRIVATE $<$<NOT:$<CONFIG:Debug,RelWithDebInfo>>:-s>)
endfunction()

# brunvald_add_thread_model_check(<test name> <library target>...)
# Fails when one of the libraries refers to a thread library function: such
# code, compiled against the posix model's headers, must not be linked with
# the win32 model's runtime.
function(brunvald_add_thread_model_check test_name)
  set(files "")
  foreach(lib IN LISTS ARGN)
    list(APPEND files $<TARGET_FILE:${lib}>)
  endforeach()
  string(REPLACE ";" "," files "${files}")
  add_test(NAME ${test_name}
    COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} "-DFILES=${files}"
            -P ${PROJECT_SOURCE_DIR}/cmake/check_thread_model.cmake)
  set_tests_properties(${test_name} PROPERTIES LABELS "size")
endfunction()
