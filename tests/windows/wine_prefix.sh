#!/bin/sh
# The Wine prefix that the Windows tests run in, made fresh for each test run.
#   wine_prefix.sh start PREFIX COM5_TARGET   a new prefix whose COM5 links to COM5_TARGET
#   wine_prefix.sh stop PREFIX                ends its server and removes it
# The server is started first, persistent and with its output in a log: otherwise the first
# wine process's output stays held by the server until it exits.
set -eu
action=$1
prefix=$2
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY

stop() {
  if [ -d "$WINEPREFIX" ]; then
    wineserver -k 2>/dev/null || true
    wineserver -w
    rm -rf "$WINEPREFIX"
  fi
}

case "$action" in
  start)
    stop
    mkdir -p "$WINEPREFIX"
    wineserver -p >"$WINEPREFIX.server.log" 2>&1
    wineboot -i >"$WINEPREFIX.boot.log" 2>&1
    # Wine assigns com1 itself at every server start; COM5 is declared as Wine's users
    # declare a port, so that Wine lists it among the system's serial ports (SERIALCOMM) as
    # it would a real one. Wine reads the declaration when it starts: start it again.
    wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$3" /f >>"$WINEPREFIX.boot.log" 2>&1
    # COM5's device as Windows records a USB adapter without a serial number: its instance
    # under Enum holds its name, its location (hub and port) and, below, its COM name.
    device='HKLM\System\CurrentControlSet\Enum\USB\VID_1A86&PID_7523\5&2A3C4B5&0&2'
    for value in 'FriendlyName=USB-SERIAL CH340 (COM5)' 'LocationInformation=Port_#0002.Hub_#0001'; do
      wine reg add "$device" /v "${value%%=*}" /d "${value#*=}" /f >>"$WINEPREFIX.boot.log" 2>&1
    done
    wine reg add "$device\Device Parameters" /v PortName /d COM5 /f >>"$WINEPREFIX.boot.log" 2>&1
    wineserver -k
    wineserver -w
    wineserver -p >>"$WINEPREFIX.server.log" 2>&1
    wineboot >>"$WINEPREFIX.boot.log" 2>&1
    ln -sfn "$3" "$WINEPREFIX/dosdevices/com5"
    ;;
  stop) stop ;;
  *) echo "usage: $0 start PREFIX COM5_TARGET | stop PREFIX" >&2; exit 2 ;;
esac
