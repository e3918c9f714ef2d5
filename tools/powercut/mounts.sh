# What the powercutfs test scripts share: daemons that each serve one mount and answer on
# $tmp/NAME.sock, stopped with their mounts unmounted whatever happens. The caller sets bin
# (the folder of powercutfs) and tmp (its own scratch folder), defines fail, sources this,
# and sets `trap mounts_cleanup EXIT`.

mounted_names=()

# start NAME MOUNTPOINT [OPTION...]: a daemon serving at $tmp/NAME.sock, once it says ready.
start() {
    local name=$1 dir=$2
    shift 2
    "$bin/powercutfs" "$@" "$dir" "$tmp/$name.sock" >"$tmp/$name.out" 2>"$tmp/$name.err" &
    echo $! >"$tmp/$name.pid"
    echo "$dir" >"$tmp/$name.dir"
    mounted_names+=("$name")
    for _ in $(seq 50); do
        grep -qx ready "$tmp/$name.out" && return 0
        kill -0 "$(cat "$tmp/$name.pid")" 2>/dev/null || fail "powercutfs ($name) did not start: $(cat "$tmp/$name.err")"
        sleep 0.1
    done
    fail "powercutfs ($name) was not ready within 5 s"
}

# stop NAME: the daemon ends and its mount is gone.
stop() {
    local name=$1 pid dir
    [ -f "$tmp/$name.pid" ] || return 0
    pid=$(cat "$tmp/$name.pid") dir=$(cat "$tmp/$name.dir")
    if kill -0 "$pid" 2>/dev/null; then
        "$bin/powercutfs" --ctl "$tmp/$name.sock" quit >/dev/null 2>&1 || kill "$pid"
        wait "$pid" 2>/dev/null
    fi
    mountpoint -q "$dir" && fusermount3 -u -z "$dir"
    rm -f "$tmp/$name.pid"
}

mounts_cleanup() {
    local name busy=""
    for name in "${mounted_names[@]}"; do
        stop "$name"
        mountpoint -q "$(cat "$tmp/$name.dir")" && busy=1
    done
    [ -n "$busy" ] || rm -rf "$tmp"
}
