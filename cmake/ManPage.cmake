# Writes the man page: PAGE with its line @BROVANA_OPTIONS@ replaced by what TOOL prints, the
# OPTIONS entries written from the program's own option table.
#
#   cmake -DTOOL=brovana-man-options -DPAGE=brovana-live.1.in -DOUTPUT=brovana-live.1 -P ManPage.cmake
execute_process(COMMAND ${TOOL} OUTPUT_VARIABLE BROVANA_OPTIONS RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR BROVANA_OPTIONS STREQUAL "")
  message(FATAL_ERROR "${TOOL} wrote no OPTIONS entries (${status})")
endif()
# The template's line ends the last entry.
string(REGEX REPLACE "\n$" "" BROVANA_OPTIONS "${BROVANA_OPTIONS}")
configure_file(${PAGE} ${OUTPUT} @ONLY)
