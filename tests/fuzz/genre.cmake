brovana_fuzz(genre genre_fuzz.cpp)
