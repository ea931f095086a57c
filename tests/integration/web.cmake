# The web service client against the service emulator on a loopback port.
if(TARGET zelvora-service)
  brovana_test(web_service_integration_tests SOURCES web_service_test.cpp DEPS brovana_platform brovana_log_folder
               LABELS integration)
  add_dependencies(web_service_integration_tests zelvora-service)
endif()
