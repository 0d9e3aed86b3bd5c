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
if(TARGET zarel_net_store)
  zarel_test(NetStoreLinkTest LIBS zarel_net_store)
endif()
foreach(name SmtpClientTest HttpClientTest VersionCheckTest)
  if(TEST ${ZAREL_TREE}.${name})
    # TZ=UTC: the message date's zone is read through the host's time-zone facts.
    set_tests_properties(${ZAREL_TREE}.${name} PROPERTIES
      FIXTURES_REQUIRED NetPeers
      ENVIRONMENT "ZAREL_NET_PEERS=${net_peer_folder};TZ=UTC")
  endif()
endforeach()
