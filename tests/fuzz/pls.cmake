brovana_fuzz(pls pls_fuzz.cpp)
