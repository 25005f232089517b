#!/bin/sh
# Set-up of the tests that look at real windows: without an X display Wine shows no box, and
# they would wait for boxes that never come, then fail without saying why.
case ${DISPLAY:-} in
    "") echo "needs a display (set DISPLAY or run tools/check)"; exit 1 ;;
    :*)
        # A local display is a socket; other forms (host:N) are left to Wine.
        number=${DISPLAY#:}; number=${number%%.*}
        [ -S "/tmp/.X11-unix/X$number" ] ||
            { echo "needs a display: nothing answers at DISPLAY=$DISPLAY (set DISPLAY or run tools/check)"; exit 1; } ;;
esac
echo "display: $DISPLAY"
