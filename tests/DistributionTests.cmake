# The demonstration distribution builder, built for real and read back with the setup's own
# archive reader, store, info.xml reader and web-server patch. The Windows programs come from
# the win32 tree; the host tree takes them from the sibling build/win32 that scripts/build.sh
# makes, and its test skips when that tree is not built. The placeholders' folder comes last:
# the test leaves it out to see the missing programs named.
if(TARGET zarel_distribution AND TARGET zarel_applogic)
  if(WIN32)
    set(program_folders $<TARGET_FILE_DIR:setup> $<TARGET_FILE_DIR:zarel_standin_smtp>
        $<TARGET_FILE_DIR:comserver_api> $<TARGET_FILE_DIR:zarel_db>
        $<TARGET_FILE_DIR:standin_setiface> $<TARGET_FILE_DIR:standin_avastoem>)
    set(program_targets setup zarel_standin_servers comserver_api comserver_quenforcom zarel_db
        standin_setiface standin_avastoem zarel_placeholders)
    if(TARGET standin_ldap32)
      list(APPEND program_folders $<TARGET_FILE_DIR:standin_ldap32>)
      list(APPEND program_targets standin_ldap32)
    endif()
    list(APPEND program_folders $<TARGET_FILE_DIR:placeholder_config>)
  else()
    set(win32 ${CMAKE_BINARY_DIR}/../win32)
    set(program_folders ${win32}/app ${win32}/suite/servers/bin ${win32}/suite/comservers
        ${win32}/suite/db ${win32}/suite/setiface ${win32}/suite/avastoem ${win32}/suite/ldap32
        ${win32}/suite/placeholders/bin)
  endif()
  list(JOIN program_folders "|" joined_folders)

  zarel_test(DistributionTest LIBS zarel_distribution zarel_applogic zarel_engine_core
             zarel_archive ilds_pack)
  target_compile_definitions(DistributionTest PRIVATE
    ZAREL_DISTRIBUTION_PROGRAMS="${joined_folders}"
    ZAREL_DISTRIBUTION_CONTENT="${CMAKE_SOURCE_DIR}/tools/distribution/content")
  if(WIN32)
    add_dependencies(DistributionTest ${program_targets})
    if(TARGET standin_ldap32)
      target_compile_definitions(DistributionTest PRIVATE ZAREL_LDAP32_STANDIN="$<TARGET_FILE:standin_ldap32>")
    endif()
  endif()
endif()
