# The formats of a music library through the real libsndfile, TagLib and mpg123, on files ffmpeg
# makes at test time.
brovana_test(library_integration_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/library_test.cpp DEPS brovana_platform
             LABELS integration)
