# The headless studio against the service emulator and Icecast, with a listener that decodes.
if(TARGET brovana-live AND TARGET zelvora-service)
  brovana_test(studio_integration_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/studio_headless_test.cpp
               ${CMAKE_CURRENT_LIST_DIR}/library_studio_test.cpp
               DEPS brovana_app LABELS integration)
  add_dependencies(studio_integration_tests brovana-live zelvora-service leveller)
  target_compile_definitions(studio_integration_tests PRIVATE BROVANA_PLUGIN_DIR="${PROJECT_BINARY_DIR}/${BROVANA_INSTALL_PLUGINDIR}")
endif()

# Extra servers: several Icecast mounts in three formats, TLS, a server that dies, refusals.
if(TARGET brovana-live AND TARGET zelvora-service)
  brovana_test(extra_servers_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/extra_servers_test.cpp
               DEPS brovana_core LABELS integration)
  add_dependencies(extra_servers_tests brovana-live zelvora-service)
endif()
