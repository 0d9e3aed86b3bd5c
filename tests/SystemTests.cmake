# Windows system integration: registry, services, processes, COM (win32 tree only).
if(TARGET zarel_system)
  zarel_test(RegistryTest LIBS zarel_engine zarel_system zarel_base)
  if(TARGET RegistryTest AND TARGET comserver_api)
    # The COM stand-ins are found in the build tree and copied into each test's folder.
    target_compile_definitions(RegistryTest PRIVATE
      ZAREL_COMSERVERS_DIR="$<TARGET_FILE_DIR:comserver_api>")
    add_dependencies(RegistryTest comserver_api comserver_quenforcom)
  endif()
  zarel_test(ServicesTest LIBS zarel_app zarel_engine zarel_system zarel_base TIMEOUT 300)
  target_compile_definitions(ServicesTest PRIVATE ZAREL_STANDIN_DIR="$<TARGET_FILE_DIR:zarel_standin_smtp>"
                             ZAREL_SLEEPER_EXE="$<TARGET_FILE:sleeper>")
  add_dependencies(ServicesTest zarel_standin_servers sleeper comserver_api comserver_quenforcom)
  target_compile_definitions(ServicesTest PRIVATE ZAREL_COMSERVERS_DIR="$<TARGET_FILE_DIR:comserver_api>")
  if(TARGET zarel_net)
    # The smtp.exe stand-in's receiver, fed by our own SMTP client.
    zarel_test(SmtpReceiverTest LIBS zarel_system zarel_engine_core zarel_base
               zarel_serverconfig zarel_net TIMEOUT 60)
    target_compile_definitions(SmtpReceiverTest PRIVATE ZAREL_STANDIN_DIR="$<TARGET_FILE_DIR:zarel_standin_smtp>")
    add_dependencies(SmtpReceiverTest zarel_standin_servers)
  endif()
  zarel_test(FolderSecurityTest LIBS zarel_system zarel_base)
  zarel_test(ProcessTest LIBS zarel_system zarel_engine_core zarel_base)
  target_compile_definitions(ProcessTest PRIVATE ZAREL_SLEEPER_EXE="$<TARGET_FILE:sleeper>")
  add_dependencies(ProcessTest sleeper)
endif()

# The tests that create, start and delete the suite's services share the test prefix's
# Service Control Manager: run at the same time, one deletes the service the other is
# creating (ERROR_SERVICE_MARKED_FOR_DELETE). With the services come the other things the
# running stand-in servers hold prefix-wide: their pipes (\\.\pipe\ZarelSMTP, ...), their
# tray windows, found by class and title, and port 25, which smtp.exe takes without a
# configuration. Every other win32 test that writes the registry redirects it into a scratch
# key of its own, works in a folder of its own and listens only on free ports. The desktop
# process, which the first program with a window starts, belongs to the test command's
# sleeper (tests/support/WineSleeper.cpp).
foreach(name ServicesTest SmtpReceiverTest)
  if(TEST ${ZAREL_TREE}.${name})
    set_tests_properties(${ZAREL_TREE}.${name} PROPERTIES RESOURCE_LOCK prefix_service_manager)
  endif()
endforeach()

# What we ship imports only the system's known libraries: setup.exe, the tools and the
# stand-ins and placeholders the demonstration distribution carries.
find_program(ZAREL_OBJDUMP NAMES ${CMAKE_C_COMPILER_TARGET}-objdump i686-w64-mingw32-objdump objdump)
if(ZAREL_OBJDUMP AND TARGET setup)
  add_test(NAME ${ZAREL_TREE}.ImportTables
           COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/ImportTableCheck.py ${ZAREL_OBJDUMP}
                   $<TARGET_FILE:setup> $<TARGET_FILE:ilds> $<TARGET_FILE:zcfg> ${CMAKE_BINARY_DIR}/suite)
  set_tests_properties(${ZAREL_TREE}.ImportTables PROPERTIES TIMEOUT 60)
endif()
