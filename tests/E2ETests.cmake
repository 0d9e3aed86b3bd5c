# The UI driver with its own tests, and the end-to-end tests that drive the real setup.exe
# under Wine and Xvfb (win32 tree only). Each end-to-end test runs one module of tests/e2e
# in its own Xvfb, one fresh Wine prefix per scenario; screenshots go to tests/artifacts.
if(WIN32)
  add_subdirectory(${CMAKE_CURRENT_SOURCE_DIR}/uidriver ${CMAKE_CURRENT_BINARY_DIR}/uidriver)

  zarel_test(UIDriverTest LIBS zarel_uidriver)
  target_compile_definitions(UIDriverTest PRIVATE
    ZAREL_DRIVER_FORM_EXE="$<TARGET_FILE:DriverTestForm>" ZAREL_UIDRIVER_EXE="$<TARGET_FILE:uidriver>")
  add_dependencies(UIDriverTest DriverTestForm uidriver)

  find_program(ZAREL_PYTHON NAMES python3)
  find_program(ZAREL_XVFB NAMES Xvfb)
  if(NOT ZAREL_PYTHON OR NOT ZAREL_XVFB)
    message(WARNING "python3 or Xvfb missing: end-to-end tests not registered (scripts/deps.sh installs them)")
  else()
    # Further arguments go to run_e2e.py (--screen).
    function(zarel_e2e_test name module)
      add_test(NAME ${ZAREL_TREE}.E2E.${name}
               COMMAND ${ZAREL_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/run_e2e.py
                       --build ${CMAKE_BINARY_DIR}
                       --artifacts ${CMAKE_CURRENT_BINARY_DIR}/artifacts
                       --work ${CMAKE_CURRENT_BINARY_DIR}/e2e-work/${name}
                       ${ARGN} ${module})
      # One scenario at a time: each starts Xvfb, Wine and a wizard, and two of them at
      # once on two cores made the time-outs of the slower one flaky.
      set_tests_properties(${ZAREL_TREE}.E2E.${name} PROPERTIES TIMEOUT 600 LABELS e2e
                           RESOURCE_LOCK zarel_e2e)
    endfunction()

    # The harness on the driver's own test window: runs before the wizard exists.
    zarel_e2e_test(Harness test_harness)
    if(TARGET setup)
      zarel_e2e_test(WizardPages test_wizard_pages)
      zarel_e2e_test(CommandLine test_command_line)
      zarel_e2e_test(Startup test_startup)
      zarel_e2e_test(Language test_language)
      zarel_e2e_test(NewVersion test_new_version)
      zarel_e2e_test(Installation test_installation)
      zarel_e2e_test(Upgrade test_upgrade)
      zarel_e2e_test(FirstRun test_first_run)
      zarel_e2e_test(Components test_components)
      zarel_e2e_test(Failures test_failures)
      # Mounts a drive of its own into the prefix (root; skipped otherwise).
      zarel_e2e_test(PlacementFaults test_placement_faults)
      zarel_e2e_test(Progress test_progress)
      # A screen as large as the wizard at 200 %.
      zarel_e2e_test(HighDpi test_high_dpi --screen 2048x1536x24)
      zarel_e2e_test(NineX test_9x)
      zarel_e2e_test(Unattended test_unattended)
      # Killed at every progress point of two kinds of run, each followed by an unattended rerun.
      zarel_e2e_test(Recovery test_recovery)
      # 3.5 to 6 minutes measured under a load of 5 to 10; more room than the others' 600 s.
      set_tests_properties(${ZAREL_TREE}.E2E.Recovery PROPERTIES TIMEOUT 900)
      # The Ansible role on four Wine prefixes as hosts at once (deploy/ansible): 3 to 4 minutes.
      find_program(ZAREL_ANSIBLE_PLAYBOOK NAMES ansible-playbook)
      if(ZAREL_ANSIBLE_PLAYBOOK)
        zarel_e2e_test(Fleet test_fleet)
      else()
        message(WARNING "ansible-playbook missing: E2E.Fleet not registered (scripts/deps.sh installs it)")
      endif()
    endif()
  endif()
endif()
