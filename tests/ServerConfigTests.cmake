# The configuration store's tests, in both trees; database mode with the stand-in db.dll in
# the win32 tree only (POSIX has no db.dll).
if(TARGET zarel_serverconfig)
  if(WIN32)
    # Under Wine the save cut short by a full disk needs a tiny file system of its own.
    set(small_drive LAUNCHER ${CMAKE_CURRENT_SOURCE_DIR}/support/small-drive.sh)
  endif()
  zarel_test(ServerSettingsTest LIBS zarel_serverconfig zarel_base ${small_drive})
  zarel_test(DomainStoreTest LIBS zarel_serverconfig zarel_base)
  zarel_test(AccountStoreTest LIBS zarel_serverconfig zarel_base)
  zarel_test(ServerTextFilesTest LIBS zarel_serverconfig zarel_base)
  # The record layouts and the archive header against their published numbers; it reads the
  # headers themselves to find constants that have no row.
  zarel_test(RecordLayoutTest)
  target_compile_definitions(RecordLayoutTest PRIVATE ZAREL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  zarel_test(WelcomeMessageTest LIBS zarel_serverconfig zarel_base)
  if(WIN32 AND TARGET zarel_db)
    zarel_test(DatabaseModeTest LIBS zcfg_report zarel_serverconfig zarel_base)
    target_compile_definitions(DatabaseModeTest PRIVATE ZAREL_DB_DLL="$<TARGET_FILE:zarel_db>")
    add_dependencies(DatabaseModeTest zarel_db)
  endif()
endif()
if(TARGET zcfg_report)
  zarel_test(ZcfgReportTest LIBS zcfg_report zarel_serverconfig zarel_base)
endif()
