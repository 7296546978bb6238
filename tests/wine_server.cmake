# Read by ctest before it runs any test of a cross build: starts one Wine
# server that every test then shares, so each test program starts in a
# fraction of a second instead of seconds. The server ends by itself a minute
# after the last Wine program of the run.
execute_process(COMMAND sh -c "wineserver -p60 </dev/null >/dev/null 2>&1")
