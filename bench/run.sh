#!/usr/bin/env bash
# Benchmarks one whole download (parts fetched, recorded and joined) of the
# real engine against what a user would do instead, and against the disk.
# Sets up everything on a fresh Debian machine: nginx serves generated
# packages on 127.0.0.1, the contenders alternate round by round, and the
# medians and the engine's ratios over each are printed from the one run.
#
#   bench/run.sh [--runs N] [--quick] [--windows] [--links | --links-only]
#
# Contenders for 64 parts of 8 MiB:
#   headless, window     the engine (velmora_bench), alone or through the window;
#                        the package has the maker's checksums, which it checks
#   unchecked            the engine on the same package without checksums
#   curl-one             curl, all parts over one connection, then cat (nothing synced)
#   curl-one-sync        the same, then sync of the parts and the installer
#   curl-per-part-sync   one HTTP/1.0 curl per part, each part synced, then cat and sync
#   aria2-sync           aria2c -j1, then cat and sync of the parts and the installer
#   disk-floor           the same bytes written twice and synced (dd)
#   reflink              the engine on a loop-mounted XFS with reflink (root only)
#   wine                 with --windows: the engine built for Windows (MinGW-w64),
#                        headless under Wine, on the same package
#   peer, wine-peer      with --windows: durable_peer (libcurl, one connection,
#                        each part and the installer synced), on Linux and
#                        built for Windows under the same Wine
#
# --quick skips the 5 GiB memory package and the 100 000-part package. Needs
# about 12 GiB of free disk (BENCH_TMP chooses where; default /var/tmp);
# everything is removed afterwards.
#
# --links adds the shaped links (root only): the engine (headless) and
# curl-one-sync, round by round, each talking straight to nginx (no proxy)
# across a delay line between two network namespaces of this run's own
# (bench/delay_line.cpp): link A, 10 MiB/s with a 40 ms round trip, 16 parts
# of 4 MiB; link B, 1 MiB/s with a 200 ms round trip, 6 parts of 2 MiB.
# --links-only runs those alone, without the loopback contenders. TCP's
# congestion control there is the kernel's default unless BENCH_LINK_CC
# names another (cubic, say, where the default is bbr), set on the link's
# routes, since a namespace may only default to the host's allowed ones.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/ensure_packages.sh
source scripts/ensure_packages.sh
usage="usage: bench/run.sh [--runs N] [--quick] [--windows] [--links | --links-only]"
runs=7
quick=false
windows=false
loopback=true
links=false
while [ $# -gt 0 ]; do
    case $1 in
        --runs) runs=$2; shift 2 ;;
        --quick) quick=true; shift ;;
        --windows) windows=true; shift ;;
        --links) links=true; shift ;;
        --links-only) links=true; loopback=false; shift ;;
        *) echo "$usage" >&2; exit 2 ;;
    esac
done
if $links && [ "$(id -u)" -ne 0 ]; then
    echo "the shaped links need root (network namespaces and TUN devices): skipped" >&2
    links=false
    $loopback || exit 0
fi
if $windows && ! $loopback; then
    echo "--windows runs with the loopback contenders only: ignored with --links-only" >&2
    windows=false
fi

packages=(nginx-light curl python3)
$loopback && packages+=(aria2 xfsprogs)
$links && packages+=(iproute2 iputils-ping)
ensure_packages "${BUILD_PACKAGES[@]}" "${packages[@]}"
build=${BUILD_DIR:-build-bench}
targets=(velmora_bench velmora-publish)
$links && targets+=(delay_line)
$windows && targets+=(durable_peer)
cmake --preset bench -B "$build" >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}" >/dev/null
bench="$build/bench/velmora_bench"
publish="$build/tools/velmora-publish"
delay_line="$build/bench/delay_line"
peer="$build/bench/durable_peer"
if $windows; then
    # shellcheck source=scripts/windows_deps.sh
    source scripts/windows_deps.sh
    # shellcheck source=scripts/wine_env.sh
    source scripts/wine_env.sh
    cmake --preset bench-windows -B "$build-windows" >/dev/null
    cmake --build "$build-windows" -j2 --target velmora_bench durable_peer >/dev/null ||
        { echo "the benchmark did not build for Windows" >&2; exit 1; }
    wine_bench="$build-windows/bench/velmora_bench.exe"
    wine_peer="$build-windows/bench/durable_peer.exe"
fi

work=$(mktemp -d "${BENCH_TMP:-/var/tmp}/velmora-bench.XXXXXX")
chmod 755 "$work"
# The shaped links' namespaces, named after this run.
client_ns=velmora-bench-$$-client
server_ns=velmora-bench-$$-server
delay_pid=""
cleanup() {
    local pid
    for pid in "$work/nginx.pid" "$work/nginx-link.pid"; do
        if [ -f "$pid" ]; then kill "$(cat "$pid")" 2>/dev/null || true; fi
    done
    if [ -n "$delay_pid" ]; then kill "$delay_pid" 2>/dev/null || true; fi
    if $links; then
        ip netns del "$client_ns" 2>/dev/null || true
        ip netns del "$server_ns" 2>/dev/null || true
        rm -rf "/etc/netns/$client_ns" "/etc/netns/$server_ns"
    fi
    if [ -n "${WINESERVER:-}" ]; then "$WINESERVER" -k 2>/dev/null || true; fi
    mountpoint -q "$work/xfs" 2>/dev/null && umount "$work/xfs"
    rm -rf "$work"
}
trap cleanup EXIT
mib=$((1024 * 1024))
host=download.velmora.example

# Packages: one folder each, as a server publishes them.
package() {  # name part_size total_size [www]
    mkdir -p "$work/src"
    head -c "$3" /dev/urandom >"$work/src/$1"
    "$publish" --version "$1" --part-size "$2" "$work/src/$1" "${4:-$work/www}/$1" >/dev/null
    rm "$work/src/$1"
}
echo "Publishing the packages into $work ..."
mkdir -p "$work/www" "$work/nginx"
if $loopback; then
    package p64x8m $((8 * mib)) $((63 * 8 * mib + 5 * mib))
    # The same package without its checksums (hard links: no second copy).
    cp -al "$work/www/p64x8m" "$work/www/p64x8m-unchecked"
    rm "$work/www/p64x8m-unchecked/download/quindle7/SHA256SUMS"
    for n in 500 2000 10000; do package p${n}x1k 1024 $((n * 1024)); done
    $quick || package p100000x1k 1024 $((100000 * 1024))
    package p50m $((8 * mib)) $((50 * mib))
fi
if $loopback && ! $quick; then
    # About 5 GiB of zeros, as sparse parts: nothing to write on this side.
    folder="$work/www/p5g/download/quindle7"
    mkdir -p "$folder"
    { echo 1; echo p5g; echo 640; echo $((8 * mib)); } >"$folder/pkgindex.txt"
    for i in $(seq -w 1 640); do
        truncate -s $((8 * mib)) "$folder/velmora.$i"
        printf 'velmora.%s\n0\n' "$i" >>"$folder/pkgindex.txt"
    done
    printf '%s' "$host" >"$work/www/p5g/download/sites"
fi
if $loopback; then
    # An index of a million parts, read and checked as the preparation does.
    python3 - "$work/index1m.txt" <<'EOF'
import sys
with open(sys.argv[1], "w") as f:
    f.write("1\n7.7\n1000000\n8192\n")
    f.writelines("velmora.%07d\n0\n" % (i + 1) for i in range(1000000))
EOF
fi
if $links; then
    # Each served alone on its link, so apart from the loopback ones.
    package l16x4m $((4 * mib)) $((16 * 4 * mib)) "$work/www-link"
    package l6x2m $((2 * mib)) $((6 * 2 * mib)) "$work/www-link"
fi
chmod -R a+rX "$work"/www*

# A file system that shares blocks, where this machine can mount one.
reflink=false
if $loopback && [ "$(id -u)" -eq 0 ]; then
    truncate -s 3G "$work/xfs.img"
    mkdir -p "$work/xfs"
    if mkfs.xfs -q -m reflink=1 "$work/xfs.img" && mount -o loop "$work/xfs.img" "$work/xfs" 2>/dev/null; then
        reflink=true
        mkdir -p "$work/xfs/pkg"
    fi
fi

nginx_http() {  # the http block's settings that every server here shares
    echo "events { worker_connections 1024; }"
    echo "http { access_log off; sendfile on; tcp_nopush on; keepalive_requests 1000000;"
    echo "  client_body_temp_path $work/nginx; proxy_temp_path $work/nginx; fastcgi_temp_path $work/nginx;"
    echo "  uwsgi_temp_path $work/nginx; scgi_temp_path $work/nginx;"
}
# nginx serves each package on a loopback port of its own: the program always
# asks for /download/..., through the proxy setting.
free_port() {
    local p
    for p in $(seq "$1" $(($1 + 200))); do
        (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { echo "$p"; return; }
    done
}
declare -A port
if $loopback; then
    next=18080
    {
        echo "worker_processes 1; pid $work/nginx.pid; error_log $work/nginx/error.log;"
        nginx_http
        for name in "$work"/www/*; do
            name=$(basename "$name")
            port[$name]=$(free_port $next)
            next=$((port[$name] + 1))
            echo "  server { listen 127.0.0.1:${port[$name]}; root $work/www/$name; }"
        done
        echo "}"
    } >"$work/nginx.conf"
    nginx -c "$work/nginx.conf"
    sleep 0.5
fi

seconds() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
names_of() { sed -n '5~2p' "$(www_of "$1")/$1/download/quindle7/pkgindex.txt"; }
www_of() { if [ -d "$work/www/$1" ]; then echo "$work/www"; else echo "$work/www-link"; fi; }
report() {  # mode t0 t1 t2
    echo "mode=$1 download_s=$(elapsed "$2" "$3") join_s=$(elapsed "$3" "$4") total_s=$(elapsed "$2" "$4")"
}
windows_path() { echo "Z:${1//\//\\}"; }

# On a shaped link the client side is its namespace, and it asks the
# server straight: no proxy from the environment.
via_link=false
in_client() {
    ip netns exec "$client_ns" env -u http_proxy -u HTTP_PROXY -u https_proxy -u HTTPS_PROXY \
        -u all_proxy -u ALL_PROXY -u no_proxy -u NO_PROXY "$@"
}

# One run of each contender; every one leaves the joined installer behind.
engine() {  # mode package [folder]
    if $via_link; then
        in_client "$bench" "$1" "${3:-$work/pkg}" ""
    else
        "$bench" "$1" "${3:-$work/pkg}" "127.0.0.1:${port[$2]}"
    fi
}
# The Windows build under Wine, on the same folder seen as drive Z:.
if $windows; then
    windows_wine_env "$work/wine"
    windows_wine_start
fi
engine_wine() {  # package
    "$WINELOADER" "$wine_bench" headless "$(windows_path "$work/pkg")" "127.0.0.1:${port[$1]}" |
        tr -d '\r' | sed 's/mode=headless/mode=wine/'
}
peer() {  # package loader...
    local pkg=$1
    shift
    mkdir -p "$work/curl"
    names_of "$pkg" >"$work/names.txt"
    if [ $# -gt 0 ]; then
        "$@" "$wine_peer" "127.0.0.1:${port[$pkg]}" "http://$host/download/quindle7/" \
            "$(windows_path "$work/curl")" "$(windows_path "$work/names.txt")" |
            tr -d '\r' | sed 's/mode=peer/mode=wine-peer/'
    else
        "$peer" "127.0.0.1:${port[$pkg]}" "http://$host/download/quindle7/" "$work/curl" "$work/names.txt"
    fi
}
curl_one() {  # package sync
    local dir=$work/curl names n t0 t1 t2
    mkdir -p "$dir"
    mapfile -t names < <(names_of "$1")
    for n in "${names[@]}"; do
        printf 'url = "http://%s/download/quindle7/%s"\noutput = "%s/%s"\n' "$host" "$n" "$dir" "$n"
    done >"$work/curl.cfg"
    t0=$(seconds)
    if $via_link; then
        in_client curl -s -f -K "$work/curl.cfg"
    else
        curl -s -f --proxy "http://127.0.0.1:${port[$1]}" -K "$work/curl.cfg"
    fi
    $2 && (cd "$dir" && printf '%s\n' "${names[@]}" | xargs sync)
    t1=$(seconds)
    # Through xargs: a hundred thousand names do not fit one command line.
    (cd "$dir" && printf '%s\n' "${names[@]}" | xargs cat >velmora.exe && { ! $2 || sync velmora.exe; })
    t2=$(seconds)
    report "curl-one$($2 && echo -sync)" "$t0" "$t1" "$t2"
}
curl_per_part_sync() {  # package
    local dir=$work/curl names n t0 t1 t2
    mkdir -p "$dir"
    mapfile -t names < <(names_of "$1")
    t0=$(seconds)
    for n in "${names[@]}"; do
        curl -s -f -0 --proxy "http://127.0.0.1:${port[$1]}" -o "$dir/$n" "http://$host/download/quindle7/$n"
        sync "$dir/$n"
    done
    t1=$(seconds)
    (cd "$dir" && cat "${names[@]}" >velmora.exe && sync velmora.exe)
    t2=$(seconds)
    report curl-per-part-sync "$t0" "$t1" "$t2"
}
aria2_sync() {  # package
    local dir=$work/curl names n t0 t1 t2
    mkdir -p "$dir"
    mapfile -t names < <(names_of "$1")
    for n in "${names[@]}"; do printf 'http://%s/download/quindle7/%s\n out=%s\n' "$host" "$n" "$n"; done >"$work/aria2.txt"
    t0=$(seconds)
    aria2c -q -j1 --all-proxy="http://127.0.0.1:${port[$1]}" --dir="$dir" -i "$work/aria2.txt" \
        --allow-overwrite=true --auto-file-renaming=false --file-allocation=none
    (cd "$dir" && sync "${names[@]}")
    t1=$(seconds)
    (cd "$dir" && cat "${names[@]}" >velmora.exe && sync velmora.exe)
    t2=$(seconds)
    report aria2-sync "$t0" "$t1" "$t2"
}
disk_floor() {  # package: its bytes, written twice and synced
    local bytes t0 t1 t2
    bytes=$(cat "$work/www/$1/download/quindle7"/velmora.* | wc -c)
    mkdir -p "$work/curl"
    t0=$(seconds)
    head -c "$bytes" /dev/zero >"$work/curl/a" && sync "$work/curl/a"
    t1=$(seconds)
    head -c "$bytes" /dev/zero >"$work/curl/b" && sync "$work/curl/b"
    t2=$(seconds)
    report disk-floor "$t0" "$t1" "$t2"
}
field() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p"; }
median() { grep -E '^[0-9.]+$' | sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

mkdir -p "$work/pkg"
results=$work/results
: >"$results"
run_all() {  # rounds package contenders...
    local rounds=$1 pkg=$2 i c k
    shift 2
    local contenders=("$@")
    for i in $(seq "$rounds"); do
        # Each round starts with the next contender, so that none always
        # follows the same other one.
        for k in $(seq 0 $((${#contenders[@]} - 1))); do
            c=${contenders[$(((i + k) % ${#contenders[@]}))]}
            # Nobody pays for the previous contender's files: they are removed
            # and everything is on disk before the clock starts.
            rm -rf "$work/curl" "$work/pkg"/*
            $reflink && rm -rf "$work/xfs/pkg"/*
            sync
            # Nor does it profit from what the previous one taught TCP about
            # the path (each side's cached slow-start threshold and round
            # trip): every download on a link starts as the first one does.
            if $via_link; then
                ip netns exec "$client_ns" ip tcp_metrics flush all
                ip netns exec "$server_ns" ip tcp_metrics flush all
            fi
            sleep 1
            case $c in
                headless | window) engine "$c" "$pkg" ;;
                unchecked) engine headless "$pkg-unchecked" | sed 's/mode=headless/mode=unchecked/' ;;
                reflink) engine headless "$pkg" "$work/xfs/pkg" | sed 's/mode=headless/mode=reflink/' ;;
                wine) engine_wine "$pkg" ;;
                peer) peer "$pkg" ;;
                wine-peer) peer "$pkg" "$WINELOADER" ;;
                curl-one) curl_one "$pkg" false ;;
                curl-one-sync) curl_one "$pkg" true ;;
                curl-per-part-sync) curl_per_part_sync "$pkg" ;;
                aria2-sync) aria2_sync "$pkg" ;;
                disk-floor) disk_floor "$pkg" ;;
            esac | sed "s/^/package=$pkg /" >>"$results"
        done
    done
}

# The shaped links: the delay line between the two namespaces, nginx on the
# server side at the address the client side knows the download host by.
if $links; then
    ip netns add "$client_ns"
    ip netns add "$server_ns"
    # `ip netns exec` puts these over /etc/hosts for the client side.
    mkdir -p "/etc/netns/$client_ns"
    printf '127.0.0.1 localhost\n10.201.0.2 %s\n' "$host" >"/etc/netns/$client_ns/hosts"
fi
link_up() {  # round_trip_ms rate_bytes_per_s buffer_bytes package
    local i
    # Ahead of a busy machine's other work: a late packet would be the
    # line's delay, not the link's.
    nice -n -10 "$delay_line" "$client_ns" "$server_ns" "$1" "$2" "$3" >"$work/delay_line.out" 2>"$work/delay_line.err" &
    delay_pid=$!
    for i in $(seq 100); do
        grep -q '^ready$' "$work/delay_line.out" && break
        kill -0 "$delay_pid" 2>/dev/null || break
        sleep 0.1
    done
    grep -q '^ready$' "$work/delay_line.out" ||
        { echo "the delay line did not start:" >&2; cat "$work/delay_line.err" >&2; exit 1; }
    if [ -n "${BENCH_LINK_CC:-}" ]; then
        ip netns exec "$server_ns" ip route change 10.201.0.1 dev vq-server proto kernel scope link \
            src 10.201.0.2 congctl "$BENCH_LINK_CC"
        ip netns exec "$client_ns" ip route change 10.201.0.2 dev vq-client proto kernel scope link \
            src 10.201.0.1 congctl "$BENCH_LINK_CC"
    fi
    {
        echo "worker_processes 1; pid $work/nginx-link.pid; error_log $work/nginx/error-link.log;"
        nginx_http
        echo "  server { listen 10.201.0.2:80; root $work/www-link/$4; } }"
    } >"$work/nginx-link.conf"
    ip netns exec "$server_ns" nginx -c "$work/nginx-link.conf"
    for i in $(seq 50); do
        in_client curl -s -f -o /dev/null "http://$host/download/sites" && return
        sleep 0.1
    done
    echo "nginx does not answer across the delay line" >&2
    exit 1
}
link_down() {
    local i
    kill "$(cat "$work/nginx-link.pid")"
    kill "$delay_pid"
    wait "$delay_pid" || true
    delay_pid=""
    for i in $(seq 50); do
        [ -f "$work/nginx-link.pid" ] || break
        sleep 0.1
    done
}
run_link() {  # name round_trip_ms rate_bytes_per_s package
    local bdp=$(($3 * $2 / 1000)) buffer
    buffer=$((bdp > 65536 ? bdp : 65536))
    link_up "$2" "$3" "$buffer" "$4"
    in_client ping -q -c 5 -i 0.2 10.201.0.2 | awk -F/ -v l="$1" '/^rtt/ { print "package=link mode=ping link=" l " rtt_ms=" $5 }' >>"$results"
    via_link=true
    run_all "$runs" "$4" headless curl-one-sync
    via_link=false
    link_down
    sed "s/^delay_line: /link=$1 /" "$work/delay_line.err" >>"$work/delay_counts"
}

export QT_QPA_PLATFORM=offscreen
echo "Running $runs rounds ..."
big=(headless unchecked window curl-one curl-one-sync curl-per-part-sync aria2-sync disk-floor)
$reflink && big+=(reflink)
$windows && big+=(wine peer wine-peer)
if $loopback; then
    run_all "$runs" p64x8m "${big[@]}"
    for n in 500 2000 10000; do run_all "$runs" p${n}x1k headless curl-one; done
    $quick || run_all 1 p100000x1k headless curl-one
    run_all "$runs" p50m headless
    $quick || run_all 1 p5g headless
    for i in $(seq 3); do "$bench" index "$work/index1m.txt"; done | sed 's/^/package=index1m /' >>"$results"
    "$bench" sha256 | sed 's/^/package=memory /' >>"$results"
fi
if $links; then
    echo "Running the shaped links ..."
    run_link A 40 $((10 * mib)) l16x4m
    run_link B 200 $((1 * mib)) l6x2m
fi

stat_of() {  # package mode field
    grep "package=$1 mode=$2 " "$results" | field "$3" | median
}
sum_of() {  # package mode field field: the median of each run's sum
    grep "package=$1 mode=$2 " "$results" | awk -v a="$3" -v b="$4" '{
        x = y = ""
        for (i = 1; i <= NF; i++) {
            if (index($i, a "=") == 1) x = substr($i, length(a) + 2)
            if (index($i, b "=") == 1) y = substr($i, length(b) + 2)
        }
        if (x ~ /^[0-9.]+$/ && y ~ /^[0-9.]+$/) printf "%.3f\n", x + y
    }' | median
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a != "-" && b > 0) printf "%.2f", a / b; else print "-" }'; }

echo
echo "Machine: $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo), $(uname -r), $(df -T "$work" | awk 'NR == 2 { print $2 }') at $work"
if $loopback; then
    echo "Medians of $runs runs (seconds), 64 parts of 8 MiB (last one short):"
    engine_total=$(stat_of p64x8m headless total_s)
    printf '%-20s %10s %10s %10s %16s %22s\n' contender download join total "headless / it" \
        "last byte to install"
    for c in "${big[@]}"; do
        total=$(stat_of p64x8m "$c" total_s)
        printf '%-20s %10s %10s %10s %16s %22s\n' "$c" "$(stat_of p64x8m "$c" download_s)" \
            "$(stat_of p64x8m "$c" join_s)" "$total" "$(ratio "$engine_total" "$total")" \
            "$(stat_of p64x8m "$c" last_byte_to_install_s)"
    done
    echo "window / headless: $(ratio "$(stat_of p64x8m window total_s)" "$engine_total")"
    echo "checked / unchecked: $(ratio "$engine_total" "$(stat_of p64x8m unchecked total_s)")"
    if $windows; then
        echo "Windows engine under Wine / Linux engine: $(ratio "$(stat_of p64x8m wine total_s)" "$engine_total")"
        echo "Windows engine under Wine / Windows peer under Wine:" \
            "$(ratio "$(stat_of p64x8m wine total_s)" "$(stat_of p64x8m wine-peer total_s)")"
        echo "Windows peer under Wine / Linux peer:" \
            "$(ratio "$(stat_of p64x8m wine-peer total_s)" "$(stat_of p64x8m peer total_s)")"
    fi
    $reflink && echo "reflink / disk floor: $(ratio "$(stat_of p64x8m reflink total_s)" "$(stat_of p64x8m disk-floor total_s)")"
    echo
    echo "Per-part overhead beyond the transfer (engine - curl over one connection, per part):"
    for n in 500 2000 10000 100000; do
        grep -q "package=p${n}x1k " "$results" || continue
        e=$(stat_of p${n}x1k headless total_s)
        c=$(stat_of p${n}x1k curl-one total_s)
        w=$(stat_of p${n}x1k headless download_device_bytes)
        awk -v n="$n" -v e="$e" -v c="$c" -v w="$w" 'BEGIN { printf "  %6d parts of 1 KiB: engine %.3f s, curl %.3f s, %.3f ms per part, %.0f bytes written to the device per part\n", n, e, c, (e - c) * 1000 / n, w / n }'
    done
    echo
    echo "Peak resident memory of the headless engine (KiB), download / join:"
    for pkg in p50m p5g p100000x1k; do
        grep -q "package=$pkg " "$results" || continue
        echo "  $pkg: $(stat_of $pkg headless peak_rss_download_kb) / $(stat_of $pkg headless peak_rss_join_kb)" \
            "(throughput $(stat_of $pkg headless download_mib_s) MiB/s down, $(stat_of $pkg headless join_mib_s) MiB/s join)"
    done
    echo "An index of a million parts: read and checked in $(stat_of index1m index read_and_check_s) s," \
        "$(stat_of index1m index bytes_per_part) bytes per part"
    echo "SHA-256 in memory, 1 GiB from a 1 MiB buffer (median of 5): $(stat_of memory sha256 mib_s) MiB/s"
fi
link_report() {  # name round_trip_ms rate_mib_s parts part_mib package
    local e c ep
    e=$(stat_of "$6" headless total_s)
    c=$(stat_of "$6" curl-one-sync total_s)
    echo
    echo "Link $1: $3 MiB/s, $2 ms round trip, $4 parts of $5 MiB" \
        "($(awk -v b=$(($4 * $5)) -v r="$3" 'BEGIN { printf "%.1f", b / r }') s at the link's rate)," \
        "round trip by ping $(grep "link=$1 " "$results" | field rtt_ms) ms; medians of $runs runs (seconds):"
    printf '  %-16s %10s %10s %10s\n' contender download join total
    printf '  %-16s %10s %10s %10s\n' "engine" "$(stat_of "$6" headless download_s)" "$(stat_of "$6" headless join_s)" "$e"
    printf '  %-16s %10s %10s %10s\n' "curl-one-sync" "$(stat_of "$6" curl-one-sync download_s)" "$(stat_of "$6" curl-one-sync join_s)" "$c"
    echo "  engine / curl: $(ratio "$e" "$c")"
    # The engine's clock starts once it has the site list, the index and
    # the checksums; curl's, before it connects.
    ep=$(sum_of "$6" headless prepare_s total_s)
    echo "  engine with its preparation ($(stat_of "$6" headless prepare_s) s before the download):" \
        "$ep s, over curl: $(ratio "$ep" "$c")"
    echo "  congestion control: ${BENCH_LINK_CC:-$(sysctl -n net.ipv4.tcp_congestion_control) (the default)}"
    echo "  the engine's last_byte_to_install_s: $(stat_of "$6" headless last_byte_to_install_s)"
    grep "^link=$1 " "$work/delay_counts" | sed "s/^link=$1 /  delay line, /"
}
if $links; then
    link_report A 40 10 16 4 l16x4m
    link_report B 200 1 6 2 l6x2m
fi
if [ -n "${BENCH_KEEP_RESULTS:-}" ]; then cp "$results" "$BENCH_KEEP_RESULTS"; fi
