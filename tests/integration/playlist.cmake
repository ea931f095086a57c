# MP3 facts against ffprobe on files made by lame and ffmpeg at test time; playlists on them.
brovana_test(playlist_integration_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/mp3_tools_test.cpp
             DEPS brovana_playlist LABELS integration)
if(TARGET brovana-live)
  target_compile_definitions(playlist_integration_tests PRIVATE BROVANA_LIVE_BINARY="$<TARGET_FILE:brovana-live>")
  add_dependencies(playlist_integration_tests brovana-live)
endif()
