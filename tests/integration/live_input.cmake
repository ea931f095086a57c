# Live input: capture, mixers and voiceovers on a private sound server, broadcast to Icecast.
if(TARGET brovana-live AND TARGET zelvora-service)
  brovana_test(live_input_integration SOURCES ${CMAKE_CURRENT_LIST_DIR}/live_input_test.cpp DEPS brovana_app
               LABELS integration)
  add_dependencies(live_input_integration brovana-live zelvora-service)
endif()
# The dead-air guard: a silent mix hands the air to a fallback playlist and takes it back.
if(TARGET brovana-live AND TARGET zelvora-service)
  brovana_test(dead_air_integration SOURCES ${CMAKE_CURRENT_LIST_DIR}/dead_air_test.cpp DEPS brovana_audio
               LABELS integration)
  add_dependencies(dead_air_integration brovana-live zelvora-service)
endif()
