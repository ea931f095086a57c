# The server connection against Icecast, with account facts from the service emulator.
if(TARGET zelvora-service)
  brovana_test(connection_integration_tests SOURCES live_connect_icecast_test.cpp DEPS brovana_platform
               LABELS integration)
  add_dependencies(connection_integration_tests zelvora-service)
endif()
