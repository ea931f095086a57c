# The skin file reader is plain C++ in the windows' folder, which the fuzz build leaves out.
brovana_fuzz(skin skin_fuzz.cpp ${PROJECT_SOURCE_DIR}/src/app/skin/skin_file.cpp)
