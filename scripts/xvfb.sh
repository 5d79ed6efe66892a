# Sourced: start_xvfb starts a private Xvfb on a free display (unless DISPLAY works already) and
# stops it when the calling script exits.
start_xvfb() {
    if [ -n "${DISPLAY:-}" ] && [ -n "${TIDEWELL_KEEP_DISPLAY:-}" ]; then return; fi
    local display
    for display in $(seq 90 140); do
        [ -e "/tmp/.X${display}-lock" ] || [ -e "/tmp/.X11-unix/X${display}" ] && continue
        Xvfb ":${display}" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        TIDEWELL_XVFB_PID=$!
        for _ in $(seq 1 50); do
            [ -e "/tmp/.X11-unix/X${display}" ] && break
            sleep 0.1
        done
        if kill -0 "$TIDEWELL_XVFB_PID" 2>/dev/null; then
            export DISPLAY=":${display}"
            trap 'kill "$TIDEWELL_XVFB_PID" 2>/dev/null || true' EXIT
            return
        fi
    done
    echo "could not start Xvfb" >&2
    return 1
}
