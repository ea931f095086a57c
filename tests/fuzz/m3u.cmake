brovana_fuzz(m3u m3u_fuzz.cpp)
