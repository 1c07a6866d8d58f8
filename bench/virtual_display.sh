# Sourced by the window benchmarks. start_virtual_display starts a virtual X screen of 1280x1024
# on a display numbered from FIRST up (FIRST + 0..18, picked at random so that two benchmarks
# side by side seldom meet), exports DISPLAY and leaves the server's process id in display_pid;
# it returns once the server answers. The caller stops the server.
start_virtual_display() {  # [FIRST]
  local first=${1:-70}
  export DISPLAY=:$((first + RANDOM % 19))
  Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  display_pid=$!
  local _
  for _ in $(seq 100); do
    xdpyinfo >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "no virtual X screen on $DISPLAY" >&2
  return 1
}
