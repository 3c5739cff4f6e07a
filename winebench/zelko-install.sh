# Zelko installed for the Zelko bench's frame under Wine: the steps the benches share.
# Source this file after wine-env.sh, once wine_setup has made the prefix.
#
#   zelko_install RUN PACKAGE_INF ZELKO_SYS BUS_SYS BUS_INF DEVINST VUSBCTL
#
# RUN is the caller's command runner, called as `RUN SECS PROGRAM ARGS...`; it
# time-boxes the program and prints its output (from a file of its own, never from a
# pipe that Wine's background processes would inherit: see docs/wine.md). The steps:
#   1. the package INF staged from a folder that holds it beside ZELKO_SYS (as
#      Zelko.sys), so that the PnP manager finds it when the frame appears;
#   2. the bus's root device (Root\ZkVusb) created and its driver installed; Wine
#      loads the bus, the bus reports the frame, Wine installs and starts Zelko on it;
#   3. a wait until Zelko's first interrupt read is held at the bus.
# Every step runs, whatever the one before gave. Sets ZELKO_INSTALL_STAGE,
# ZELKO_INSTALL_ROOT and ZELKO_INSTALL_HELD to the steps' outputs ("stage ok ...",
# "root ok ...", "wait held=1 ok" when they worked); returns 0 when all three worked.
# The folders go under $WINE_TMP (package/, bus/).

# Wine's own complaints about the drivers (errors, and unimplemented kernel calls) go
# to the caller's log; the driver hosts inherit it as their stderr from the first command.
export WINEDEBUG=${WINEDEBUG:-fixme-all,fixme+ntoskrnl,fixme+plugplay,fixme+usbd,err-winediag,err-systray}

zelko_install() {
  local run=$1 package_inf=$2 zelko_sys=$3 bus_sys=$4 bus_inf=$5 devinst=$6 vusbctl=$7
  local pkg=$WINE_TMP/package bench=$WINE_TMP/bus
  mkdir -p "$pkg" "$bench"
  cp "$package_inf" "$pkg/zelkron2kxp.inf"
  cp "$zelko_sys" "$pkg/Zelko.sys"
  cp "$bus_sys" "$bus_inf" "$bench/"
  ZELKO_INSTALL_STAGE=$("$run" 60 "$devinst" stage "$(wine_winpath "$pkg/zelkron2kxp.inf")")
  ZELKO_INSTALL_ROOT=$("$run" 90 "$devinst" root 'Root\ZkVusb' "$(wine_winpath "$bench/$(basename "$bus_inf")")")
  ZELKO_INSTALL_HELD=$("$run" 60 "$vusbctl" --wait 30000 wait held=1 30000)
  [ "$(echo "$ZELKO_INSTALL_STAGE" | awk '{ print $1, $2 }')" = "stage ok" ] &&
    [ "$(echo "$ZELKO_INSTALL_ROOT" | awk '{ print $1, $2 }')" = "root ok" ] &&
    [ "$ZELKO_INSTALL_HELD" = "wait held=1 ok" ]
}
