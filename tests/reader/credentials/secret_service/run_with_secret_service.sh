#!/usr/bin/env bash
# Runs a test program against a real secret store of its own: a private D-Bus session
# (dbus-run-session) with gnome-keyring-daemon started for it, its login keyring created and unlocked
# with a throwaway password in a throwaway home, and no display, so the store can never prompt.
# Usage: run_with_secret_service.sh PROGRAM [ARGS...]
# Without the tools the test is skipped (exit 77), except under CI=true, where that is a failure.
set -euo pipefail

if [ "${1:-}" != "--inside-session" ]; then
    missing=()
    for tool in dbus-run-session dbus-send gnome-keyring-daemon secret-tool; do
        command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "secret store test: missing ${missing[*]} (scripts/install-deps installs them)" >&2
        if [ "${CI:-}" = "true" ]; then exit 1; fi
        exit 77
    fi
    exec dbus-run-session -- "$0" --inside-session "$@"
fi
shift

scratch="$(mktemp -d)"
keyring_pid=""
cleanup() {
    if [ -n "$keyring_pid" ]; then
        kill "$keyring_pid" 2>/dev/null || true
        wait "$keyring_pid" 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

export HOME="$scratch/home" XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config"
export XDG_CACHE_HOME="$scratch/cache" XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY

# The daemon reads the login keyring's password from its standard input.
gnome-keyring-daemon --foreground --unlock --components=secrets <<<"throwaway password" \
    >"$scratch/keyring.log" 2>&1 &
keyring_pid=$!

owned=false
for _ in $(seq 100); do
    if dbus-send --session --dest=org.freedesktop.DBus --print-reply /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q "boolean true"; then
        owned=true
        break
    fi
    sleep 0.1
done
if [ "$owned" != true ]; then
    echo "secret store test: gnome-keyring-daemon did not start" >&2
    cat "$scratch/keyring.log" >&2
    exit 1
fi

status=0
"$@" || status=$?
exit "$status"
