# The playlist engine: sound-card playback into a private sound server. (Whole broadcasts to
# Icecast are the studio's integration test.)
brovana_test(sound_output_integration SOURCES sound_output_test.cpp DEPS brovana_platform LABELS integration)
