#!/usr/bin/env bash
# Benchmarks one whole download (parts fetched, recorded and joined) of the
# real engine against what a user would do instead: curl, then cat. Sets up
# everything on a fresh Debian machine: nginx serves generated packages on
# 127.0.0.1, the runs alternate, and the medians and ratios are printed.
#
#   bench/run.sh [--runs N] [--quick]
#
# --quick skips the 5 GiB memory package. Needs about 11 GiB of free disk for
# that one (BENCH_TMP chooses where; default /var/tmp); everything is removed
# afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure_packages.sh
runs=5
quick=false
while [ $# -gt 0 ]; do
    case $1 in
        --runs) runs=$2; shift 2 ;;
        --quick) quick=true; shift ;;
        *) echo "usage: bench/run.sh [--runs N] [--quick]" >&2; exit 2 ;;
    esac
done

ensure_packages "${BUILD_PACKAGES[@]}" nginx-light curl
build=${BUILD_DIR:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_BENCH=ON \
    -DVELMORA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target velmora_bench velmora-publish >/dev/null
bench="$build/bench/velmora_bench"
publish="$build/tools/velmora-publish"

work=$(mktemp -d "${BENCH_TMP:-/var/tmp}/velmora-bench.XXXXXX")
chmod 755 "$work"
cleanup() {
    [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mib=$((1024 * 1024))
host=download.velmora.example

# Packages: one folder each, as a server publishes them.
package() {  # name part_size total_size
    mkdir -p "$work/src"
    head -c "$3" /dev/urandom >"$work/src/$1"
    "$publish" --version "$1" --part-size "$2" "$work/src/$1" "$work/www/$1" >/dev/null
    rm "$work/src/$1"
}
echo "Publishing the packages into $work ..."
package p64x8m $((8 * mib)) $((63 * 8 * mib + 5 * mib))
package p2000x64k $((64 * 1024)) $((2000 * 64 * 1024))
package p1000x64k $((64 * 1024)) $((1000 * 64 * 1024))
package p500x64k $((64 * 1024)) $((500 * 64 * 1024))
package p50m $((8 * mib)) $((50 * mib))
if ! $quick; then
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
chmod -R a+rX "$work/www"

# nginx serves each package on a loopback port of its own: the program always
# asks for /download/..., through the proxy setting.
free_port() {
    local p
    for p in $(seq "$1" $(($1 + 200))); do
        (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { echo "$p"; return; }
    done
}
declare -A port
next=18080
mkdir -p "$work/nginx"
{
    echo "worker_processes 1; pid $work/nginx.pid; error_log $work/nginx/error.log;"
    echo "events { worker_connections 1024; }"
    echo "http { access_log off; sendfile on; tcp_nopush on; keepalive_requests 100000;"
    echo "  client_body_temp_path $work/nginx; proxy_temp_path $work/nginx; fastcgi_temp_path $work/nginx;"
    echo "  uwsgi_temp_path $work/nginx; scgi_temp_path $work/nginx;"
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

seconds() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }

# One run of each contender; every one leaves the joined installer in $out.
engine() {  # mode package
    "$bench" "$1" "$work/pkg" "127.0.0.1:${port[$2]}"
}
curl_one_process() {  # package
    local dir=$work/curl names
    mkdir -p "$dir"
    names=$(sed -n '5~2p' "$work/www/$1/download/quindle7/pkgindex.txt")
    for n in $names; do
        printf 'url = "http://%s/download/quindle7/%s"\noutput = "%s/%s"\n' "$host" "$n" "$dir" "$n"
    done >"$work/curl.cfg"
    local t0 t1 t2
    t0=$(seconds)
    curl -s -f --proxy "http://127.0.0.1:${port[$1]}" -K "$work/curl.cfg"
    t1=$(seconds)
    (cd "$dir" && cat $names >velmora.exe)
    t2=$(seconds)
    echo "mode=curl-one-process download_s=$(elapsed "$t0" "$t1") join_s=$(elapsed "$t1" "$t2") total_s=$(elapsed "$t0" "$t2")"
}
curl_per_part() {  # package
    local dir=$work/curl names
    mkdir -p "$dir"
    names=$(sed -n '5~2p' "$work/www/$1/download/quindle7/pkgindex.txt")
    local t0 t1 t2
    t0=$(seconds)
    for n in $names; do
        curl -s -f -0 --proxy "http://127.0.0.1:${port[$1]}" -o "$dir/$n" "http://$host/download/quindle7/$n"
    done
    t1=$(seconds)
    (cd "$dir" && cat $names >velmora.exe)
    t2=$(seconds)
    echo "mode=curl-per-part download_s=$(elapsed "$t0" "$t1") join_s=$(elapsed "$t1" "$t2") total_s=$(elapsed "$t0" "$t2")"
}
field() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p"; }
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

mkdir -p "$work/pkg"
results=$work/results
: >"$results"
run_all() {  # package contenders...
    local pkg=$1 i c k
    shift
    local contenders=("$@")
    for i in $(seq "$runs"); do
        # Each round starts with the next contender, so that none always
        # follows the same other one.
        for k in $(seq 0 $((${#contenders[@]} - 1))); do
            c=${contenders[$(((i + k) % ${#contenders[@]}))]}
            # Nobody pays for the previous contender's files: they are removed
            # and everything is on disk before the clock starts.
            rm -rf "$work/curl" "$work/pkg"/*
            sync
            sleep 1
            case $c in
                headless | window) engine "$c" "$pkg" ;;
                curl-one-process) curl_one_process "$pkg" ;;
                curl-per-part) curl_per_part "$pkg" ;;
            esac | sed "s/^/package=$pkg /" >>"$results"
        done
    done
}
export QT_QPA_PLATFORM=offscreen
echo "Running $runs rounds ..."
run_all p64x8m headless window curl-one-process curl-per-part
run_all p2000x64k headless curl-one-process
run_all p1000x64k headless curl-one-process
run_all p500x64k headless curl-one-process
run_all p50m headless
$quick || { runs_saved=$runs; runs=1; run_all p5g headless; runs=$runs_saved; }

stat_of() {  # package mode field
    grep "package=$1 mode=$2 " "$results" | field "$3" | median
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

# How fast this disk takes data that must be on it: the engine syncs every
# part and the installer, curl and cat leave their data to the kernel.
mkdir -p "$work/probe"
sync
t0=$(seconds)
head -c $((512 * mib)) /dev/zero >"$work/probe/file"
sync "$work/probe/file"
t1=$(seconds)
rm -rf "$work/probe"

echo
echo "Machine: $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo), $(uname -r), $(df -T "$work" | awk 'NR == 2 { print $2 }') at $work"
echo "Disk: 512 MiB written and synced in $(elapsed "$t0" "$t1") s next to the package folder."
echo "Medians of $runs runs (seconds), 64 parts of 8 MiB (last one short):"
ref=$(stat_of p64x8m curl-one-process total_s)
printf '%-18s %10s %10s %10s %14s\n' contender download join total "x curl+cat"
for c in headless window curl-one-process curl-per-part; do
    total=$(stat_of p64x8m $c total_s)
    printf '%-18s %10s %10s %10s %14s\n' "$c" "$(stat_of p64x8m $c download_s)" "$(stat_of p64x8m $c join_s)" \
        "$total" "$(ratio "$total" "$ref")"
done
echo "window / headless: $(ratio "$(stat_of p64x8m window total_s)" "$(stat_of p64x8m headless total_s)")"
echo
echo "Per-part overhead beyond the transfer (engine - curl one process, per part):"
for n in 500 1000 2000; do
    e=$(stat_of p${n}x64k headless total_s)
    c=$(stat_of p${n}x64k curl-one-process total_s)
    awk -v n="$n" -v e="$e" -v c="$c" 'BEGIN { printf "  %4d parts of 64 KiB: engine %.3f s, curl %.3f s, %.3f ms per part\n", n, e, c, (e - c) * 1000 / n }'
done
echo
echo "Peak resident memory of the headless engine (KiB), download / join:"
for pkg in p50m p5g; do
    grep -q "package=$pkg " "$results" || continue
    echo "  $pkg: $(stat_of $pkg headless peak_rss_download_kb) / $(stat_of $pkg headless peak_rss_join_kb)" \
        "(throughput $(stat_of $pkg headless download_mib_s) MiB/s down, $(stat_of $pkg headless join_mib_s) MiB/s join)"
done
if [ -n "${BENCH_KEEP_RESULTS:-}" ]; then cp "$results" "$BENCH_KEEP_RESULTS"; fi
