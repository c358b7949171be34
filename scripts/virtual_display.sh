# Sourced by the screenshot scripts: a virtual display for the programs, and
# the steps a user takes in Tavrin's window on it.

# Starts Xvfb on a free-looking display number, waits until it answers, and
# points DISPLAY (and Qt) at it. The caller's EXIT trap ends it with its
# other jobs (`kill $(jobs -p)`).
start_virtual_display() {
  local display=":$(( 90 + RANDOM % 100 ))"
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  for _ in $(seq 1 50); do
    DISPLAY=$display xdotool getdisplaygeometry >/dev/null 2>&1 && break
    sleep 0.2
  done
  export DISPLAY=$display QT_QPA_PLATFORM=xcb
}

# Prints the id of the window titled $1 once it is there (10 s at most).
window_id() {
  local id
  for _ in $(seq 1 50); do
    id=$(xdotool search --name "^$1\$" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  echo "no window titled '$1' appeared" >&2
  return 1
}

# Where window $1 lies on the screen: X Y.
window_origin() {
  xdotool getwindowgeometry "$1" | awk '/Position/ { split($2, p, ","); print p[1], p[2] }'
}

# In Tavrin's window $1: types the device $2 into the port box of panel $3
# (0 left, 1 right) and ticks its Start, as a user would.
start_tavrin_panel() {
  local id=$1 device=$2 dx=$(( ${3:-0} * 386 ))
  xdotool mousemove --window "$id" $(( 90 + dx )) 14 click --repeat 3 1
  xdotool key ctrl+a
  xdotool type --delay 20 "$device"
  xdotool mousemove --window "$id" $(( 165 + dx )) 16 click 1
}
