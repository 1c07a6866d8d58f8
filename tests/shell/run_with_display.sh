#!/bin/sh
# Runs a test program on the X display in use, or on a private virtual one when there is none.
if [ -n "$DISPLAY" ]; then
  exec "$@"
fi
exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$@"
