#!/bin/sh
# start: brings up the wine server that a test run shares, with wine's
# services, and keeps it until stop. It is detached from ctest's output pipes:
# a service started by a test's program would keep that test's pipe open. A
# server left from the build's test discovery or from an interrupted run goes
# first. The wine prefix comes from the environment.
case "$1" in
start)
    if ! { wineserver --kill; wineserver --persistent && wine wineboot; } \
        </dev/null >wine-start.log 2>&1; then
        cat wine-start.log >&2
        exit 1
    fi
    ;;
stop)
    wineserver --kill 2>/dev/null || true
    ;;
*)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
