# Started without a reachable display, the window prints one plain line and exits with status 1.
# Run as: cmake -DVELMO=<path of velmo> -P no_display_check.cmake
foreach(display_setting "-u;DISPLAY" "DISPLAY=:97531")
  execute_process(
    COMMAND env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ${display_setting} ${VELMO}
    RESULT_VARIABLE status
    OUTPUT_VARIABLE out
    ERROR_VARIABLE err
    TIMEOUT 30)
  if(NOT status EQUAL 1 OR NOT out STREQUAL ""
     OR NOT err STREQUAL "no display: set DISPLAY or start it from a desktop\n")
    message(FATAL_ERROR "with ${display_setting}: status ${status}, stdout '${out}', stderr '${err}'")
  endif()
endforeach()
