# The playlist engine: sound-card playback into a private sound server, and whole broadcasts
# to Icecast with the service emulator and a listener.
brovana_test(sound_output_integration SOURCES sound_output_test.cpp DEPS brovana_platform LABELS integration)
