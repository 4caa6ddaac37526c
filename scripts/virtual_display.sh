# shellcheck shell=bash
# Sourced by the demo, the end-to-end test and the Windows tests: a virtual
# display with a window manager, and a way to find the program's windows on
# it.

# Starts Xvfb on a free display, exports DISPLAY and sets VIRTUAL_DISPLAY_PID.
# $1 is a folder for the display number and the server's log. A server that
# announced its display can still end while it sets up its keyboard (on a
# busy machine); it is then started again, twice at most.
start_virtual_display() {
    local attempt
    for attempt in 1 2 3; do
        exec 3>"$1/display"
        # -noreset: a server that resets when its last client leaves can
        # refuse the next one meanwhile, and the end-to-end test starts
        # programs one after another (seen twice: "could not connect").
        Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 "${VIRTUAL_SCREEN:-1024x768x24}" \
            >"$1/xvfb.log" 2>&1 &
        VIRTUAL_DISPLAY_PID=$!
        exec 3>&-
        for _ in $(seq 100); do [ -s "$1/display" ] && break; sleep 0.1; done
        DISPLAY=":$(cat "$1/display")"
        export DISPLAY
        for _ in $(seq 100); do
            kill -0 "$VIRTUAL_DISPLAY_PID" 2>/dev/null || break
            xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
            sleep 0.1
        done
        kill "$VIRTUAL_DISPLAY_PID" 2>/dev/null || true
        echo "the virtual display did not start (attempt $attempt):" >&2
        cat "$1/xvfb.log" >&2
    done
    return 1
}

# Starts openbox on the display and sets WINDOW_MANAGER_PID; $1 is a folder
# for its settings and log. Without a window manager Wine waits two seconds
# on every window it hides for a state that only a manager sets. openbox
# has no key bindings of its own here: Alt+Space is the program's window
# menu, not the manager's.
start_window_manager() {
    cat >"$1/openbox-rc.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <placement><policy>Smart</policy><center>yes</center></placement>
  <desktops><number>1</number></desktops>
  <keyboard/>
  <mouse>
    <context name="Client">
      <mousebind button="Left" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
    </context>
    <context name="Titlebar">
      <mousebind button="Left" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
      <mousebind button="Left" action="Drag"><action name="Move"/></mousebind>
    </context>
  </mouse>
</openbox_config>
EOF
    openbox --config-file "$1/openbox-rc.xml" >"$1/openbox.log" 2>&1 &
    # Read by the scripts that source this, to end it.
    # shellcheck disable=SC2034
    WINDOW_MANAGER_PID=$!
}

# Waits for a visible window whose whole title is $1 and prints its id; slow
# builds (sanitizers) on a busy machine take their time.
window() {
    for _ in $(seq 600); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 || true)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.05
    done
    return 1
}
