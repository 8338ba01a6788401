# End-to-end checks of the Win32 layer that run beside the scenarios (included by
# tests/e2e/CMakeLists.txt, whose variables they use).

# The shell copy under Wine (copy_check.sh): layout of new and existing copies, the shell's
# confirmations, copies the shell reports as done although they are not. The script keeps a
# Wine prefix of its own in its work folder and ends that prefix's Wine server itself; it
# mounts small tmpfs folders when run as root. English labels: it answers the shell's prompts
# by their buttons' text.
add_test(NAME e2e.shell_copy
  COMMAND ${TESSALOOM_XVFB_RUN} -a -s "-screen 0 1280x1024x24"
          bash ${CMAKE_CURRENT_LIST_DIR}/copy_check.sh ${TESSALOOM_WINDOWS_DIR}/copy_check.exe
               ${CMAKE_BINARY_DIR}/e2e/shell_copy)
set_tests_properties(e2e.shell_copy PROPERTIES
  RESOURCE_LOCK wine
  TIMEOUT 300
  ENVIRONMENT "LC_ALL=C.UTF-8;WINEDEBUG=-all")
