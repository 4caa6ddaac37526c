#!/usr/bin/env bash
# Benchmarks one whole download (parts fetched, recorded and joined) of the
# real engine against what a user would do instead, and against the disk.
# Sets up everything on a fresh Debian machine: nginx serves generated
# packages on 127.0.0.1, the contenders alternate round by round, and the
# medians and the engine's ratios over each are printed from the one run.
#
#   bench/run.sh [--runs N] [--quick] [--windows]
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
#
# --quick skips the 5 GiB memory package and the 100 000-part package. Needs
# about 12 GiB of free disk (BENCH_TMP chooses where; default /var/tmp);
# everything is removed afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure_packages.sh
runs=7
quick=false
windows=false
while [ $# -gt 0 ]; do
    case $1 in
        --runs) runs=$2; shift 2 ;;
        --quick) quick=true; shift ;;
        --windows) windows=true; shift ;;
        *) echo "usage: bench/run.sh [--runs N] [--quick] [--windows]" >&2; exit 2 ;;
    esac
done

ensure_packages "${BUILD_PACKAGES[@]}" nginx-light curl aria2 xfsprogs python3
build=${BUILD_DIR:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_BENCH=ON \
    -DVELMORA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target velmora_bench velmora-publish >/dev/null
bench="$build/bench/velmora_bench"
publish="$build/tools/velmora-publish"
if $windows; then
    source scripts/windows_deps.sh
    windows_deps
    cmake -S . -B "$build-windows" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_BENCH=ON \
        -DVELMORA_BUILD_TESTS=OFF -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
        -DVELMORA_CURL_MINGW="$VELMORA_CURL_MINGW" >/dev/null
    cmake --build "$build-windows" -j2 --target velmora_bench >/dev/null ||
        { echo "the benchmark did not build for Windows" >&2; exit 1; }
    wine_bench="$build-windows/bench/velmora_bench.exe"
fi

work=$(mktemp -d "${BENCH_TMP:-/var/tmp}/velmora-bench.XXXXXX")
chmod 755 "$work"
cleanup() {
    [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
    [ -n "${WINESERVER:-}" ] && "$WINESERVER" -k 2>/dev/null || true
    mountpoint -q "$work/xfs" 2>/dev/null && umount "$work/xfs"
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
# The same package without its checksums (hard links: no second copy).
cp -al "$work/www/p64x8m" "$work/www/p64x8m-unchecked"
rm "$work/www/p64x8m-unchecked/download/quindle7/SHA256SUMS"
for n in 500 2000 10000; do package p${n}x1k 1024 $((n * 1024)); done
$quick || package p100000x1k 1024 $((100000 * 1024))
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
# An index of a million parts, read and checked as the preparation does.
python3 - "$work/index1m.txt" <<'EOF'
import sys
with open(sys.argv[1], "w") as f:
    f.write("1\n7.7\n1000000\n8192\n")
    f.writelines("velmora.%07d\n0\n" % (i + 1) for i in range(1000000))
EOF
chmod -R a+rX "$work/www"

# A file system that shares blocks, where this machine can mount one.
reflink=false
if [ "$(id -u)" -eq 0 ]; then
    truncate -s 3G "$work/xfs.img"
    mkdir -p "$work/xfs"
    if mkfs.xfs -q -m reflink=1 "$work/xfs.img" && mount -o loop "$work/xfs.img" "$work/xfs" 2>/dev/null; then
        reflink=true
        mkdir -p "$work/xfs/pkg"
    fi
fi

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
    echo "http { access_log off; sendfile on; tcp_nopush on; keepalive_requests 1000000;"
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
names_of() { sed -n '5~2p' "$work/www/$1/download/quindle7/pkgindex.txt"; }
report() {  # mode t0 t1 t2
    echo "mode=$1 download_s=$(elapsed "$2" "$3") join_s=$(elapsed "$3" "$4") total_s=$(elapsed "$2" "$4")"
}

# One run of each contender; every one leaves the joined installer behind.
engine() {  # mode package [folder]
    "$bench" "$1" "${3:-$work/pkg}" "127.0.0.1:${port[$2]}"
}
# The Windows build under Wine, on the same folder seen as drive Z:.
if $windows; then
    windows_wine_env "$work/wine"
    windows_wine_start
fi
engine_wine() {  # package
    local folder="Z:${work//\//\\}\\pkg"
    "$WINELOADER" "$wine_bench" headless "$folder" "127.0.0.1:${port[$1]}" | tr -d '\r' |
        sed 's/mode=headless/mode=wine/'
}
curl_one() {  # package sync
    local dir=$work/curl names t0 t1 t2
    mkdir -p "$dir"
    names=$(names_of "$1")
    for n in $names; do
        printf 'url = "http://%s/download/quindle7/%s"\noutput = "%s/%s"\n' "$host" "$n" "$dir" "$n"
    done >"$work/curl.cfg"
    t0=$(seconds)
    curl -s -f --proxy "http://127.0.0.1:${port[$1]}" -K "$work/curl.cfg"
    $2 && (cd "$dir" && printf '%s\n' $names | xargs sync)
    t1=$(seconds)
    # Through xargs: a hundred thousand names do not fit one command line.
    (cd "$dir" && printf '%s\n' $names | xargs cat >velmora.exe && { ! $2 || sync velmora.exe; })
    t2=$(seconds)
    report "curl-one$($2 && echo -sync)" "$t0" "$t1" "$t2"
}
curl_per_part_sync() {  # package
    local dir=$work/curl names t0 t1 t2
    mkdir -p "$dir"
    names=$(names_of "$1")
    t0=$(seconds)
    for n in $names; do
        curl -s -f -0 --proxy "http://127.0.0.1:${port[$1]}" -o "$dir/$n" "http://$host/download/quindle7/$n"
        sync "$dir/$n"
    done
    t1=$(seconds)
    (cd "$dir" && cat $names >velmora.exe && sync velmora.exe)
    t2=$(seconds)
    report curl-per-part-sync "$t0" "$t1" "$t2"
}
aria2_sync() {  # package
    local dir=$work/curl names t0 t1 t2
    mkdir -p "$dir"
    names=$(names_of "$1")
    for n in $names; do printf 'http://%s/download/quindle7/%s\n out=%s\n' "$host" "$n" "$n"; done >"$work/aria2.txt"
    t0=$(seconds)
    aria2c -q -j1 --all-proxy="http://127.0.0.1:${port[$1]}" --dir="$dir" -i "$work/aria2.txt" \
        --allow-overwrite=true --auto-file-renaming=false --file-allocation=none
    (cd "$dir" && sync $names)
    t1=$(seconds)
    (cd "$dir" && cat $names >velmora.exe && sync velmora.exe)
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
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

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
            sleep 1
            case $c in
                headless | window) engine "$c" "$pkg" ;;
                unchecked) engine headless "$pkg-unchecked" | sed 's/mode=headless/mode=unchecked/' ;;
                reflink) engine headless "$pkg" "$work/xfs/pkg" | sed 's/mode=headless/mode=reflink/' ;;
                wine) engine_wine "$pkg" ;;
                curl-one) curl_one "$pkg" false ;;
                curl-one-sync) curl_one "$pkg" true ;;
                curl-per-part-sync) curl_per_part_sync "$pkg" ;;
                aria2-sync) aria2_sync "$pkg" ;;
                disk-floor) disk_floor "$pkg" ;;
            esac | sed "s/^/package=$pkg /" >>"$results"
        done
    done
}
export QT_QPA_PLATFORM=offscreen
echo "Running $runs rounds ..."
big=(headless unchecked window curl-one curl-one-sync curl-per-part-sync aria2-sync disk-floor)
$reflink && big+=(reflink)
$windows && big+=(wine)
run_all "$runs" p64x8m "${big[@]}"
for n in 500 2000 10000; do run_all "$runs" p${n}x1k headless curl-one; done
$quick || run_all 1 p100000x1k headless curl-one
run_all "$runs" p50m headless
$quick || run_all 1 p5g headless
for i in $(seq 3); do "$bench" index "$work/index1m.txt"; done | sed 's/^/package=index1m /' >>"$results"
"$bench" sha256 | sed 's/^/package=memory /' >>"$results"

stat_of() {  # package mode field
    grep "package=$1 mode=$2 " "$results" | field "$3" | median
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

echo
echo "Machine: $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo), $(uname -r), $(df -T "$work" | awk 'NR == 2 { print $2 }') at $work"
echo "Medians of $runs runs (seconds), 64 parts of 8 MiB (last one short):"
engine_total=$(stat_of p64x8m headless total_s)
printf '%-20s %10s %10s %10s %16s\n' contender download join total "headless / it"
for c in "${big[@]}"; do
    total=$(stat_of p64x8m "$c" total_s)
    printf '%-20s %10s %10s %10s %16s\n' "$c" "$(stat_of p64x8m "$c" download_s)" \
        "$(stat_of p64x8m "$c" join_s)" "$total" "$(ratio "$engine_total" "$total")"
done
echo "window / headless: $(ratio "$(stat_of p64x8m window total_s)" "$engine_total")"
echo "checked / unchecked: $(ratio "$engine_total" "$(stat_of p64x8m unchecked total_s)")"
$windows && echo "Windows engine under Wine / Linux engine: $(ratio "$(stat_of p64x8m wine total_s)" "$engine_total")"
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
if [ -n "${BENCH_KEEP_RESULTS:-}" ]; then cp "$results" "$BENCH_KEEP_RESULTS"; fi
