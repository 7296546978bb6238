# Read by ctest before it runs any test of a cross build: prepares the Wine
# prefix once, then starts one Wine server that every test shares, so each
# test program starts in a fraction of a second instead of seconds. The
# server ends by itself a minute after the last Wine program of the run.
execute_process(COMMAND sh -c [[
  prefix=${WINEPREFIX:-$HOME/.wine}
  [ -f "$prefix/system.reg" ] || wineboot -i
  wineserver -w
  wineserver -p60
]] OUTPUT_QUIET ERROR_QUIET)
