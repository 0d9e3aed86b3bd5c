# Windows system integration: registry, services, processes, COM (win32 tree only).
if(TARGET zarel_system)
  zarel_test(RegistryTest LIBS zarel_system zarel_files)
  zarel_test(ServicesTest LIBS zarel_system zarel_files zarel_programend)
  zarel_test(ProcessTest LIBS zarel_system zarel_files)
endif()
