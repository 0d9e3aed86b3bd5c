# Network clients. Pure rules and scripted peers run inside each test program; the real
# peers (an independent SMTP server, nginx over HTTP and HTTPS) are started once per tree by
# a fixture and stopped after the last test that needs them. Wine's Winsock reaches them on
# 127.0.0.1 like the host build does.
if(NOT TARGET zarel_net)
  return()
endif()

set(net_peer_folder ${CMAKE_CURRENT_BINARY_DIR}/net-peers)
set(net_peer_script ${CMAKE_CURRENT_SOURCE_DIR}/peers/net-peers.sh)
add_test(NAME ${ZAREL_TREE}.NetPeersStart COMMAND bash ${net_peer_script} start ${net_peer_folder})
add_test(NAME ${ZAREL_TREE}.NetPeersStop COMMAND bash ${net_peer_script} stop ${net_peer_folder})
set_tests_properties(${ZAREL_TREE}.NetPeersStart PROPERTIES FIXTURES_SETUP NetPeers TIMEOUT 60)
set_tests_properties(${ZAREL_TREE}.NetPeersStop PROPERTIES FIXTURES_CLEANUP NetPeers TIMEOUT 60)

zarel_test(NetResolverTest LIBS zarel_net)
zarel_test(SmtpClientTest LIBS zarel_net)
zarel_test(HttpClientTest LIBS zarel_net TIMEOUT 120)
zarel_test(VersionCheckTest LIBS zarel_net)
if(WIN32)
  # The https tests add the peers' test authority to the Root store of the prefix they run
  # in: a prefix of their own, so that no other test ever trusts it.
  target_link_libraries(HttpClientTest PRIVATE crypt32)
  target_link_libraries(VersionCheckTest PRIVATE crypt32)
  set(net_prefix ${CMAKE_CURRENT_BINARY_DIR}/net-prefix)
  # A copied prefix boots when its first program starts; the tests start in a prefix that has
  # finished booting and gone quiet (its wineserver ended), not in the middle of it.
  add_test(NAME ${ZAREL_TREE}.NetPrefix
           COMMAND bash -c "test -f '${net_prefix}/system.reg' || '${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh' '${net_prefix}' && export WINEPREFIX='${net_prefix}' && source '${CMAKE_SOURCE_DIR}/scripts/wine-env.sh' && wine cmd /c exit </dev/null >/dev/null 2>&1 && wineserver -w")
  set_tests_properties(${ZAREL_TREE}.NetPrefix PROPERTIES FIXTURES_SETUP NetPrefix TIMEOUT 120)
  set(net_prefix_env "WINEPREFIX=${net_prefix}")
endif()
# The engine's side of the clients: the store link and the demonstration message.
zarel_test(NetStoreLinkTest LIBS zarel_engine_core)
foreach(name SmtpClientTest HttpClientTest VersionCheckTest NetStoreLinkTest)
  if(TEST ${ZAREL_TREE}.${name})
    # TZ=UTC: the message date's zone is read through the host's time-zone facts.
    # SSL_CERT_FILE: the host's OpenSSL trusts the peers' test authority in these programs
    # only (besides the system's roots).
    set_tests_properties(${ZAREL_TREE}.${name} PROPERTIES
      FIXTURES_REQUIRED NetPeers
      ENVIRONMENT "ZAREL_NET_PEERS=${net_peer_folder};TZ=UTC;SSL_CERT_FILE=${net_peer_folder}/ca.pem")
  endif()
endforeach()
if(WIN32)
  foreach(name HttpClientTest VersionCheckTest)
    # One at a time: both add the test authority to the net prefix's one Root store and delete
    # it again at the end.
    set_tests_properties(${ZAREL_TREE}.${name} PROPERTIES
      FIXTURES_REQUIRED "NetPeers;NetPrefix"
      RESOURCE_LOCK net_prefix_root_store
      ENVIRONMENT "ZAREL_NET_PEERS=${net_peer_folder};TZ=UTC;${net_prefix_env}")
  endforeach()
endif()
