# The stream quality gauge on a real stream: LAME, the connection, and a server that stalls.
brovana_test(monitor_integration_tests SOURCES quality_gauge_test.cpp DEPS brovana_platform LABELS integration)
