# Windows system integration: registry, services, processes, COM (win32 tree only).
zarel_test(RegistryTest LIBS zarel_system zarel_files)
zarel_test(ServicesTest LIBS zarel_system zarel_files zarel_programend)
