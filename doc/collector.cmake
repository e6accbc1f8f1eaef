# The collector for Prometheus (Linux only): the script, its systemd service and daily timer
# (installed, not enabled: no maintainer script enables them), its manual page and the alert rules.
if(WIN32)
  return()
endif()
install(PROGRAMS "${PROJECT_SOURCE_DIR}/scripts/kzt-fid-collect" DESTINATION "${CMAKE_INSTALL_SBINDIR}")
install(FILES "${CMAKE_CURRENT_LIST_DIR}/kzt-fid-collect.service"
              "${CMAKE_CURRENT_LIST_DIR}/kzt-fid-collect.timer"
        DESTINATION "lib/systemd/system")
install(FILES "${CMAKE_CURRENT_LIST_DIR}/kzt_fid.rules.yml"
        DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/kzt-fid")
find_program(KZT_GZIP gzip)
if(KZT_GZIP)
  set(packed "${CMAKE_CURRENT_BINARY_DIR}/kzt-fid-collect.8.gz")
  add_custom_command(OUTPUT "${packed}"
    COMMAND "${KZT_GZIP}" -9 -n -c "${CMAKE_CURRENT_LIST_DIR}/kzt-fid-collect.8" > "${packed}"
    DEPENDS "${CMAKE_CURRENT_LIST_DIR}/kzt-fid-collect.8" VERBATIM)
  add_custom_target(kzt_collector_page ALL DEPENDS "${packed}")
  install(FILES "${packed}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man8")
endif()
if(KZT_BUILD_TESTS AND NOT CMAKE_CROSSCOMPILING)
  add_test(NAME ManPage.kzt-fid-collect
    COMMAND "${CMAKE_COMMAND}" -DPAGE=${CMAKE_CURRENT_LIST_DIR}/kzt-fid-collect.8
      -DVERSION=${KZT_VERSION_TEXT}
      "-DSECTIONS=NAME;SYNOPSIS;DESCRIPTION;ENVIRONMENT;FILES;EXIT STATUS;SEE ALSO"
      -P ${CMAKE_CURRENT_LIST_DIR}/check_man_page.cmake)
endif()
