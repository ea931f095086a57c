brovana_fuzz(mp3_decode ${CMAKE_CURRENT_LIST_DIR}/mp3_decode_fuzz.cpp)
target_link_libraries(fuzz_mp3_decode PRIVATE brovana_platform)
