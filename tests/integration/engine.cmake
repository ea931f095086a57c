# The playlist engine: sound-card playback into a private sound server, and whole broadcasts
# to Icecast with the service emulator and a listener.
brovana_test(sound_output_integration SOURCES sound_output_test.cpp DEPS brovana_platform LABELS integration)
if(TARGET zelvora-service)
  brovana_test(playlist_broadcast_integration SOURCES playlist_broadcast_test.cpp DEPS brovana_platform
               LABELS integration)
  add_dependencies(playlist_broadcast_integration zelvora-service)
endif()
