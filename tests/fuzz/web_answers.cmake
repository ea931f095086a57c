brovana_fuzz(web_answers ${CMAKE_CURRENT_LIST_DIR}/web_answers_fuzz.cpp)
