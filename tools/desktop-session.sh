#!/usr/bin/env bash
# The plumbing through which a desktop hands cameras to browsers, started in a
# private runtime folder: a session D-Bus, PipeWire, WirePlumber (which links
# consumers to camera nodes) and xdg-desktop-portal's Camera portal, with
# camera access granted to programs outside a sandbox. No display, no
# systemd, nothing of the machine's own session is touched.
#
#   desktop-session.sh start DIR   starts it all and waits until each answers
#   desktop-session.sh stop DIR    ends it all
#   desktop-session.sh env DIR     prints the variables that reach it
#
# By hand:  tools/desktop-session.sh start /tmp/desk
#           eval "$(tools/desktop-session.sh env /tmp/desk)"
#           build/bin/lumora-vcam --pipewire &  chromium --enable-features=WebRtcPipeWireCamera
set -euo pipefail
action=$1
dir=$2
desktop=lumora-test

environment() {
    echo "export XDG_RUNTIME_DIR='$dir' PIPEWIRE_RUNTIME_DIR='$dir'"
    echo "export DBUS_SESSION_BUS_ADDRESS='unix:path=$dir/bus'"
    echo "export XDG_CURRENT_DESKTOP='$desktop'"
    echo "export XDG_DATA_HOME='$dir/data' XDG_STATE_HOME='$dir/state' XDG_CONFIG_HOME='$dir/config'"
    echo "export XDG_DESKTOP_PORTAL_DIR='$dir/portals'"
}

# Starts a daemon in the background with the session's variables; its pid
# goes to DIR/pids.
launch() {
    local name=$1
    shift
    (
        eval "$(environment)"
        exec setsid "$@" </dev/null >"$dir/$name.log" 2>&1
    ) &
    echo $! >>"$dir/pids"
}

# Waits up to 10 s for a command to succeed.
await() {
    local what=$1
    shift
    for _ in $(seq 200); do
        if (eval "$(environment)" && "$@") >/dev/null 2>&1; then
            return 0
        fi
        sleep 0.05
    done
    echo "desktop session: $what did not come up; the logs:" >&2
    tail -n 20 "$dir"/*.log >&2 || true
    return 1
}

session_manager_linked() {
    pw-cli ls Client 2>/dev/null | grep -q '"WirePlumber"'
}

camera_portal_answers() {
    gdbus introspect --session --dest org.freedesktop.portal.Desktop \
        --object-path /org/freedesktop/portal/desktop | grep -q org.freedesktop.portal.Camera
}

grant_camera() {
    gdbus call --session --dest org.freedesktop.impl.portal.PermissionStore \
        --object-path /org/freedesktop/impl/portal/PermissionStore \
        --method org.freedesktop.impl.portal.PermissionStore.SetPermission \
        devices true camera '' "['yes']"
}

stop() {
    if [[ -f "$dir/pids" ]]; then
        # Whole process groups: the bus's activated services go with it.
        while read -r pid; do
            kill -- "-$pid" 2>/dev/null || kill "$pid" 2>/dev/null || true
        done <"$dir/pids"
        rm -f "$dir/pids"
    fi
}

case "$action" in
start)
    mkdir -p "$dir/data" "$dir/state" "$dir/config" "$dir/portals"
    chmod 700 "$dir"
    stop
    rm -f "$dir/bus" "$dir/pipewire-0" "$dir/pipewire-0.lock"
    # The Camera portal is offered only when some portal backend lists the
    # Access interface; once access is granted no backend is asked.
    cat >"$dir/portals/$desktop.portal" <<EOF
[portal]
DBusName=org.freedesktop.impl.portal.desktop.$desktop
Interfaces=org.freedesktop.impl.portal.Access;
UseIn=$desktop
EOF
    launch dbus dbus-daemon --session --nofork --address="unix:path=$dir/bus"
    await "the session bus" test -S "$dir/bus"
    launch pipewire pipewire
    await "PipeWire" pw-cli info 0
    launch wireplumber wireplumber
    await "WirePlumber" session_manager_linked
    launch portal /usr/libexec/xdg-desktop-portal --replace
    await "the camera portal" camera_portal_answers
    await "the permission store" grant_camera
    ;;
stop)
    stop
    ;;
env)
    environment
    ;;
*)
    echo "usage: $0 start|stop|env DIR" >&2
    exit 2
    ;;
esac
