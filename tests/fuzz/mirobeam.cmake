brovana_fuzz(mirobeam mirobeam_fuzz.cpp)
