# The install engine at file level: the install sequence over a fake machine, the install log, templates, the web-server patch, the first
# run's names, the decisions both faces share and the question table in both trees; placement, shortcuts, uninstall, ODBC and the antivirus
# driver in the win32 tree.
zarel_test(InstallLogTest LIBS zarel_engine_core zarel_base)
zarel_test(WebServerPatchTest LIBS zarel_engine_core)
zarel_test(TemplateUnitTest LIBS zarel_engine_core)
zarel_test(DestinationCheckTest LIBS zarel_engine_core zarel_base)
zarel_test(FirstRunNamesTest LIBS zarel_engine_core)
zarel_test(FailureUnitTest LIBS zarel_engine_core zarel_base)
zarel_test(SetupCoreTest LIBS zarel_engine_core)
zarel_test(SetupQuestionsTest LIBS zarel_engine_core zarel_base)
# The install sequence on a fake machine, failed and stopped at every call, with its journal
# and the recovery of a stopped run: no Windows needed.
zarel_test(InstallSequenceTest LIBS zarel_engine_core zarel_base)

if(WIN32 AND TARGET zarel_engine)
  set(engine_libs zarel_engine ilds_pack)
  zarel_test(PlacementTest LIBS ${engine_libs} TIMEOUT 90)
  zarel_test(ShortcutTest LIBS ${engine_libs})
  zarel_test(FirstRunTest LIBS ${engine_libs})
  zarel_test(OdbcTest LIBS ${engine_libs})
  zarel_test(AntivirusTest LIBS ${engine_libs})
  target_compile_definitions(AntivirusTest PRIVATE
    ZAREL_SETIFACE_DLL="$<TARGET_FILE:standin_setiface>" ZAREL_AVASTOEM_EXE="$<TARGET_FILE:standin_avastoem>")
  add_dependencies(AntivirusTest standin_setiface standin_avastoem)

  zarel_test(UninstallTest LIBS ${engine_libs})
  target_compile_definitions(UninstallTest PRIVATE
    ZAREL_SETIFACE_DLL="$<TARGET_FILE:standin_setiface>"
    ZAREL_COMSERVERS_DIR="$<TARGET_FILE_DIR:comserver_api>")
  add_dependencies(UninstallTest standin_setiface comserver_api comserver_quenforcom)
  # Uninstalling removes the suite's services: it runs in a Wine prefix of its own, so that
  # services other tests create in the shared prefix are never touched.
  set(engine_prefix ${CMAKE_CURRENT_BINARY_DIR}/engine-prefix)
  # Made once (a copy of the booted template, ~12 s with its first start); later runs reuse it.
  add_test(NAME ${ZAREL_TREE}.EnginePrefix
           COMMAND sh -c "test -f '${engine_prefix}/system.reg' || '${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh' '${engine_prefix}'")
  # Booting the template as well, when it is missing, takes up to ~35 s on a busy machine.
  set_tests_properties(${ZAREL_TREE}.EnginePrefix PROPERTIES FIXTURES_SETUP EnginePrefix TIMEOUT 120)
  set_tests_properties(${ZAREL_TREE}.UninstallTest PROPERTIES FIXTURES_REQUIRED EnginePrefix
                       ENVIRONMENT "WINEPREFIX=${engine_prefix}")
endif()
