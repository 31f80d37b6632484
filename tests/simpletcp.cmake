# The socket components: the pure error table, and the components over real loopback
# sockets under Wine.
quendra_test(simpletcp_rules_tests LABEL unit MAIN support/test_main.cpp
  SOURCES simpletcp_rules_test.cpp LIBS simpletcp_rules)
quendra_test(simpletcp_tests LABEL component MAIN support/test_main.cpp
  SOURCES simpletcp_loopback.cpp simpletcp_server_test.cpp simpletcp_server_faults_test.cpp simpletcp_client_test.cpp simpletcp_base_test.cpp
  LIBS simpletcp)
