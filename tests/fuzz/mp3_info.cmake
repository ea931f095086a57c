brovana_fuzz(mp3_info mp3_info_fuzz.cpp)
