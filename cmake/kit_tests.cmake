# kit_add_test(NAME name COMMAND command [argument...] [TIMEOUT seconds]
#              [ENVIRONMENT variable=value...])
#
# A test run headless (Qt's offscreen platform) with a home and XDG folders
# of its own, made fresh for each run (tests/support/own_home.sh): no test
# reads or writes the user's settings, caches or desktop menus. A COMMAND
# that names a target runs that target's file.
function(kit_add_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "NAME;TIMEOUT" "COMMAND;ENVIRONMENT")
  if(NOT arg_NAME OR NOT arg_COMMAND)
    message(FATAL_ERROR "kit_add_test needs NAME and COMMAND")
  endif()
  list(POP_FRONT arg_COMMAND program)
  if(TARGET ${program})
    set(program $<TARGET_FILE:${program}>)
  endif()
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 60)
  endif()
  add_test(NAME ${arg_NAME}
    COMMAND sh ${PROJECT_SOURCE_DIR}/tests/support/own_home.sh ${program} ${arg_COMMAND})
  set(environment QT_QPA_PLATFORM=offscreen ${arg_ENVIRONMENT})
  set_tests_properties(${arg_NAME} PROPERTIES TIMEOUT ${arg_TIMEOUT} ENVIRONMENT "${environment}")
endfunction()
