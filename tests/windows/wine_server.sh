#!/bin/bash
# Keeps one wineserver running for the build's Wine prefix while CTest runs the Windows tests
# (the fixture wine_server, see tests/CMakeLists.txt).
#
#   wine_server.sh start|stop WINEPREFIX WINE
#
# start: makes or updates the prefix once, before any test, and leaves its server running
# until stop (or 60 s after its last program, should stop never come). Each test then starts
# in a prepared prefix with a running server: no two tests make the prefix at once, no test
# starts while a server is shutting down, and each test spares the server's start-up.
# stop: ends the server and every program left in the prefix.
set -u
ACTION=$1
export WINEPREFIX=$2
WINE=$3
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINESERVER=$(dirname "$WINE")/wineserver
case $ACTION in
    start)
        # Away from CTest's output pipes, which CTest reads until every process holding them
        # has ended: the servers, and the prefix's services that a first program starts.
        # A server left from the build's test discovery ends first; the first program makes the
        # prefix, or updates it after an upgrade of Wine, and its server ends with it.
        "$WINESERVER" -w
        "$WINE" cmd /c exit < /dev/null > /dev/null 2>&1 || exit 1
        "$WINESERVER" -w
        "$WINESERVER" -p60 < /dev/null > /dev/null 2>&1 || exit 1
        ;;
    stop)
        "$WINESERVER" -k 2>/dev/null
        exit 0
        ;;
    *)
        echo "usage: wine_server.sh start|stop WINEPREFIX WINE" >&2
        exit 2
        ;;
esac
