# One reader of playlist files per target; each has its seeds in seeds/NAME/.
foreach(reader m3u:readM3U pls:readPLS mirobeam:readMirobeam)
  string(REPLACE ":" ";" reader ${reader})
  list(GET reader 0 name)
  list(GET reader 1 function)
  brovana_fuzz(${name} ${CMAKE_CURRENT_LIST_DIR}/playlist_files_fuzz.cpp)
  target_compile_definitions(fuzz_${name} PRIVATE BROVANA_READER=${function})
endforeach()
