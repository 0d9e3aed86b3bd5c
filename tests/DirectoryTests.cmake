# Directory synchronisation. The entry of an account and the rules around it in both trees;
# in the win32 tree the accounts go through the stand-in LDAP32.Dll into a real slapd that a
# fixture starts on 127.0.0.1 with a throwaway database, and a last step reads the directory
# with ldapsearch and compares it with what the scenarios expect.
zarel_test(DirectoryEntryTest LIBS zarel_serverconfig zarel_base)

if(NOT (WIN32 AND TARGET zarel_engine AND TARGET standin_ldap32))
  return()
endif()

set(slapd_folder ${CMAKE_CURRENT_BINARY_DIR}/slapd)
set(slapd_script ${CMAKE_CURRENT_SOURCE_DIR}/peers/slapd.sh)
add_test(NAME ${ZAREL_TREE}.SlapdStart
         COMMAND bash ${slapd_script} start ${slapd_folder} ${CMAKE_CURRENT_SOURCE_DIR}/peers/directory-seed.ldif)
add_test(NAME ${ZAREL_TREE}.SlapdStop COMMAND bash ${slapd_script} stop ${slapd_folder})
set_tests_properties(${ZAREL_TREE}.SlapdStart PROPERTIES FIXTURES_SETUP Slapd TIMEOUT 60)
set_tests_properties(${ZAREL_TREE}.SlapdStop PROPERTIES FIXTURES_CLEANUP Slapd TIMEOUT 60)

zarel_test(DirectorySyncTest LIBS zarel_engine ilds_pack)
target_compile_definitions(DirectorySyncTest PRIVATE ZAREL_LDAP32_DLL="$<TARGET_FILE:standin_ldap32>")
add_dependencies(DirectorySyncTest standin_ldap32)
set_tests_properties(${ZAREL_TREE}.DirectorySyncTest PROPERTIES
  FIXTURES_REQUIRED Slapd ENVIRONMENT "ZAREL_SLAPD=${slapd_folder}")

add_test(NAME ${ZAREL_TREE}.DirectoryCheck
         COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/peers/ldap_expect.py ${slapd_folder})
set_tests_properties(${ZAREL_TREE}.DirectoryCheck PROPERTIES
  FIXTURES_REQUIRED Slapd DEPENDS ${ZAREL_TREE}.DirectorySyncTest TIMEOUT 120)
