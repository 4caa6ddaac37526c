#!/usr/bin/env bash
# Makes a release from the commit at hand into one folder (release/, or
# --out): the Windows program, stripped and signed with Authenticode, the two
# Debian packages, and SHA256SUMS of them (with SHA256SUMS.minisig when a
# minisign secret key is given).
#
#   scripts/release.sh [--out DIR]
#       [--public-key RW...]            # the minisign public key built in
#       [--minisign-key FILE]           # signs SHA256SUMS (asks for its password)
#       [--cert FILE --key FILE]        # the maker's code-signing certificate
#                                       # (PEM or DER chain) and its key
#       [--cert FILE --pkcs11-module SO --key pkcs11:URI [--pkcs11-engine SO]]
#                                       # the same with the key on a token
#       [--key-password-file FILE] [--timestamp-url URL]
#
# Without --cert the program is signed with a throwaway self-signed
# certificate, which no Windows trusts: good for tests and the demo only.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

out=$root/release
public_key="" minisign_key="" cert="" key="" pkcs11_module="" pkcs11_engine=""
password_file="" timestamp_url=""
while [ $# -gt 0 ]; do
    case $1 in
        --out) out=$(realpath -m "$2") ;;
        --public-key) public_key=$2 ;;
        --minisign-key) minisign_key=$(realpath "$2") ;;
        --cert) cert=$(realpath "$2") ;;
        --key) key=$2 ;;
        --pkcs11-module) pkcs11_module=$2 ;;
        --pkcs11-engine) pkcs11_engine=$2 ;;
        --key-password-file) password_file=$(realpath "$2") ;;
        --timestamp-url) timestamp_url=$2 ;;
        *) echo "release: unknown option $1 (see the head of $0)" >&2; exit 2 ;;
    esac
    shift 2
done
if [ -n "$cert" ] && [ -z "$key" ]; then
    echo "release: --cert needs --key (a file, or a pkcs11: URI with --pkcs11-module)" >&2
    exit 2
fi
# A key file is read from where the user named it, not from the clone.
if [ -n "$key" ] && [ -z "$pkcs11_module" ]; then
    key=$(realpath "$key")
fi

source scripts/ensure_packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" dpkg-dev osslsigncode openssl
[ -z "$minisign_key" ] || ensure_packages minisign
# shellcheck source=scripts/windows_deps.sh
source scripts/windows_deps.sh

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-release.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Both builds from nothing: a release never takes what an earlier
# configuration left in its build folder.
export VELMORA_MINISIGN_PUBLIC_KEY=$public_key
cmake --workflow --preset release --fresh
cmake --workflow --preset release-windows --fresh

rm -rf "$out"
mkdir -p "$out"
cp build-release/packages/*.deb "$out/"

# Stripped by the linker itself: strip would stamp the file with the time
# of its own run.
program=VELMORA_QUINDLE_7.exe
cp "build-release-windows/src/$program" "$work/$program"

if [ -z "$cert" ]; then
    echo "release: no --cert given: signing with a throwaway self-signed certificate," \
         "which Windows does not trust (for tests and the demo only)" >&2
    cert=$work/test-cert.pem
    key=$work/test-key.pem
    openssl req -x509 -newkey rsa:3072 -nodes -sha256 -days 30 -keyout "$key" -out "$cert" \
        -subj "/CN=Velmora Quindle test signing (not trusted)" \
        -addext "extendedKeyUsage=codeSigning" 2>/dev/null
fi
sign=(osslsigncode sign -h sha256 -n "Velmora Quindle" -i "https://velmora.example"
      -certs "$cert" -key "$key" -in "$work/$program" -out "$out/$program")
[ -z "$pkcs11_module" ] || sign+=(-pkcs11module "$pkcs11_module")
[ -z "$pkcs11_engine" ] || sign+=(-pkcs11engine "$pkcs11_engine")
[ -z "$password_file" ] || sign+=(-readpass "$password_file")
[ -z "$timestamp_url" ] || sign+=(-ts "$timestamp_url")
"${sign[@]}" >/dev/null
# The signature must hold against the certificate it was made with.
osslsigncode verify -in "$out/$program" -CAfile "$cert" >"$work/verify.log" 2>&1 ||
    { cat "$work/verify.log" >&2; echo "release: the signed program does not verify" >&2; exit 1; }

(cd "$out" && sha256sum -- *.exe *.deb >SHA256SUMS)
if [ -n "$minisign_key" ]; then
    minisign -S -s "$minisign_key" -m "$out/SHA256SUMS" \
        -t "Velmora Quindle release $(git describe --always --dirty)"
fi
echo "release: made in $out:"
(cd "$out" && ls -l)
