# Helpers shared by every folder's CMakeLists.

# brovana_module(NAME [SOURCES ...] [DEPS ...]): the static library brovana_NAME of one folder.
function(brovana_module name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(brovana_${name} STATIC ${ARG_SOURCES})
  target_include_directories(brovana_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(brovana_${name} PUBLIC ${ARG_DEPS})
endfunction()

# brovana_test(NAME SOURCES ... DEPS ... [LABELS ...]): one GoogleTest program, each case a ctest test.
# Labels: "unit" (fakes only, also run under ASan+UBSan), "threads" (also run under TSan),
# "integration" (real peers: Icecast, the service emulator, command-line codecs).
function(brovana_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} brovana_testsupport GTest::gmock GTest::gtest_main)
  # Discovery passes one label text through, so the labels are joined; ctest -L matches by regex.
  string(REPLACE ";" "," labels "${ARG_LABELS}")
  gtest_discover_tests(${name} PROPERTIES LABELS "${labels}" DISCOVERY_TIMEOUT 60)
endfunction()
