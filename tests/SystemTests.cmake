# Windows system integration: registry, services, processes, COM (win32 tree only).
if(TARGET zarel_system)
  zarel_test(RegistryTest LIBS zarel_system zarel_files)
  if(TARGET RegistryTest AND TARGET comserver_api)
    # The COM stand-ins are found in the build tree and copied into each test's folder.
    target_compile_definitions(RegistryTest PRIVATE
      ZAREL_COMSERVERS_DIR="$<TARGET_FILE_DIR:comserver_api>")
    add_dependencies(RegistryTest comserver_api comserver_quenforcom)
  endif()
  zarel_test(ServicesTest LIBS zarel_system zarel_setupstate zarel_version zarel_files zarel_programend)
  target_compile_definitions(ServicesTest PRIVATE ZAREL_STANDIN_DIR="$<TARGET_FILE_DIR:zarel_standin_smtp>"
                             ZAREL_SLEEPER_EXE="$<TARGET_FILE:sleeper>")
  add_dependencies(ServicesTest zarel_standin_servers sleeper comserver_api comserver_quenforcom)
  target_compile_definitions(ServicesTest PRIVATE ZAREL_COMSERVERS_DIR="$<TARGET_FILE_DIR:comserver_api>")
  if(TARGET zarel_net)
    # The smtp.exe stand-in's receiver, fed by our own SMTP client.
    zarel_test(SmtpReceiverTest LIBS zarel_system zarel_setupstate zarel_version zarel_files zarel_programend
               zarel_serverconfig zarel_net)
    target_compile_definitions(SmtpReceiverTest PRIVATE ZAREL_STANDIN_DIR="$<TARGET_FILE_DIR:zarel_standin_smtp>")
    add_dependencies(SmtpReceiverTest zarel_standin_servers)
  endif()
  zarel_test(ProcessTest LIBS zarel_system zarel_setupstate zarel_version zarel_files)
  target_compile_definitions(ProcessTest PRIVATE ZAREL_SLEEPER_EXE="$<TARGET_FILE:sleeper>")
  add_dependencies(ProcessTest sleeper)
endif()
