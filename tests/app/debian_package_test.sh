#!/usr/bin/env bash
# The Debian packages as cpack builds them from a build folder: the users'
# program and the maker's tool in two packages, neither with a lintian error
# or warning, their programs stripped, each with its man page, copyright
# file and changelog, the same bytes from every packaging of one build.
#
#   debian_package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
for tool in cpack dpkg dpkg-deb lintian readelf man; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
done
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# A folder of its own, so that a cpack of the build folder is not disturbed.
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out/debs" >"$out/cpack.log" 2>&1 ||
    { cat "$out/cpack.log" >&2; fail "cpack"; }
arch=$(dpkg --print-architecture)
program=$out/debs/velmora-quindle_${version}_$arch.deb
publisher=$out/debs/velmora-publish_${version}_$arch.deb
debs=("$out"/debs/*.deb)
{ [ ${#debs[@]} -eq 2 ] && [ -f "$program" ] && [ -f "$publisher" ]; } ||
    fail "not the two packages of version $version: ${debs[*]##*/}"
sleep 1
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out/again" >"$out/cpack.log" 2>&1 ||
    { cat "$out/cpack.log" >&2; fail "cpack, again"; }
for deb in "${debs[@]}"; do
    cmp -s "$deb" "$out/again/${deb##*/}" || fail "${deb##*/} differs from one packaging to the next"
done

# lintian says when it runs as root, as CI does; that is no finding.
report=$(lintian "${debs[@]}" 2>&1) || true
report=$(grep -vx 'running with root privileges is not recommended!' <<<"$report" || true)
[ -z "$report" ] || fail "lintian:"$'\n'"$report"

# Each package's own files, and none of the other's.
dpkg-deb -x "$program" "$out/program"
dpkg-deb -x "$publisher" "$out/publisher"
check_files() {
    local root=$1 package=$2
    shift 2
    local file
    for file in "$@" usr/share/doc/$package/copyright usr/share/doc/$package/changelog.gz; do
        [ -f "$root/$file" ] || fail "$package lacks /$file"
    done
}
check_files "$out/program" velmora-quindle usr/bin/velmora-quindle \
    usr/lib/velmora-quindle/VELMORA_QUINDLE_7 usr/share/man/man1/velmora-quindle.1.gz
check_files "$out/publisher" velmora-publish usr/bin/velmora-publish \
    usr/share/man/man1/velmora-publish.1.gz
found=$(cd "$out/program" && find . -name '*velmora-publish*')
[ -z "$found" ] || fail "the users' package holds the maker's tool: $found"
found=$(cd "$out/publisher" && { find . -path ./usr/share/doc -prune -o -type f -print | grep -v publish || true; })
[ -z "$found" ] || fail "the maker's package holds more than its tool: $found"

# Stripped: no debugging information and no symbol table left.
for binary in "$out/program/usr/lib/velmora-quindle/VELMORA_QUINDLE_7" \
              "$out/publisher/usr/bin/velmora-publish"; do
    sections=$(readelf -SW "$binary") || fail "${binary##*/} is no ELF file"
    ! grep -E '\.(debug_[a-z]+|symtab)\b' <<<"$sections" || fail "${binary##*/} is not stripped"
done

# gzip -n: no file name and no time in the header, so two builds of one
# source give the same bytes. Byte 3 holds the flags (8: a name follows),
# bytes 4 to 7 the time.
for gz in "$out"/program/usr/share/{doc/velmora-quindle/changelog.gz,man/man1/velmora-quindle.1.gz} \
          "$out"/publisher/usr/share/{doc/velmora-publish/changelog.gz,man/man1/velmora-publish.1.gz}; do
    read -r flags t0 t1 t2 t3 < <(od -An -tu1 -j3 -N5 "$gz")
    { [ $((flags & 8)) -eq 0 ] && [ "$t0$t1$t2$t3" = 0000 ]; } || fail "${gz#"$out"/} keeps a name or a time"
done
for package in velmora-quindle velmora-publish; do
    [ "$package" = velmora-quindle ] && root=$out/program || root=$out/publisher
    head=$(zcat "$root/usr/share/doc/$package/changelog.gz" | head -n1)
    [[ $head == "$package ($version) "* ]] || fail "$package's changelog begins: $head"
    head -n1 "$root/usr/share/doc/$package/copyright" |
        grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
        fail "$package's copyright file is not machine-readable"
done

# The man pages document every option.
page() { MANWIDTH=80 LC_ALL=C.UTF-8 man -l "$1" 2>&1; }
text=$(page "$out/program/usr/share/man/man1/velmora-quindle.1.gz")
for option in -site -dir --help --version; do
    grep -qe "^ *$option\b" <<<"$text" || fail "velmora-quindle(1) does not describe $option"
done
text=$(page "$out/publisher/usr/share/man/man1/velmora-publish.1.gz")
for option in --version --package --part-size --site --sign --help; do
    grep -qe "^ *$option\b" <<<"$text" || fail "velmora-publish(1) does not describe $option"
done
echo "Debian packages: ok"
