# The conversion stage on LAME, checked by the command-line decoders.
brovana_test(audio_integration_tests SOURCES audio_roundtrip_test.cpp DEPS brovana_platform LABELS integration)
