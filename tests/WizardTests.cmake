# The wizard's and the start-up's tests: the start-up's pieces, the unattended settings and the
# language files (both trees); the window itself in the win32 tree.
if(TARGET zarel_wizardlogic)
  zarel_test(StartupLogicTest LIBS zarel_applogic zarel_serverconfig)
  zarel_test(TranslateUnitTest LIBS zarel_wizardlogic zarel_applogic)
  zarel_test(UnattendedOptionsTest LIBS zarel_applogic)
  if(WIN32)
    # The wizard window itself, created under Wine.
    zarel_test(WizardFormTest LIBS zarel_wizard)
    zarel_test(SafeLibraryTest LIBS zarel_system)
    if(TARGET setup)
      zarel_test(SetupResourcesTest LIBS version)
      target_compile_definitions(SetupResourcesTest PRIVATE SETUP_EXE="$<TARGET_FILE:setup>")
      add_dependencies(SetupResourcesTest setup)
    endif()
  endif()
endif()
