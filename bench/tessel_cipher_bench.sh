#!/usr/bin/env bash
# Prints the file cipher's throughput side by side, on the same data on this
# machine: Tessel.dll's Encrypt_File under Wine (CryptoAPI), the portable RC4
# core natively, and OpenSSL's RC4 (legacy provider). Checks that all three
# give the same bytes, and shows each one's peak memory on a small and on the
# full-size file (it must not grow with the file).
#
#   bench/tessel_cipher_bench.sh [MIB]     (default 256)
#
# Builds what it needs first: a native Release build without sanitizers in
# build/native-bench and the mingw64 programs in build/mingw64-bench.
set -euo pipefail

readonly kWine=/usr/lib/wine/wine64
readonly kSmallMib=16
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)
size_mib=${1:-256}
native_build=$repo/build/native-bench
wine_build=$repo/build/mingw64-bench

# Runs a build step quietly, showing its output only when it fails.
Quiet() {
  local output
  output=$("$@" 2>&1) || { echo "$output" >&2; return 1; }
}

cd "$repo"
Quiet cmake -S . -B "$native_build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNOX_BUILD_BENCH=ON \
  -DNOX_BUILD_TESTS=ON
Quiet cmake --build "$native_build" -j2 --target tessel_cipher_bench
Quiet cmake --preset mingw64 -B "$wine_build" -DNOX_BUILD_BENCH=ON
Quiet cmake --build "$wine_build" -j2 --target tessel_cipher_bench tessel
wine_build=$(cd "$wine_build" && pwd -P)

# The data lives in the mingw build folder, which the prefix reaches as
# C:\nox-build; the prefix itself has no drive Z:.
data=$wine_build/tessel-bench-data
work=$(mktemp -d "${TMPDIR:-/tmp}/tessel-bench.XXXXXX")
prefix=$work/prefix
trap 'NOX_WINEPREFIX=$prefix "$repo/tests/wine/server" stop >/dev/null 2>&1 || true
      rm -rf -- "$work" "$data"' EXIT
mkdir -p "$data"
NOX_BUILD_DIR=$wine_build "$repo/tests/wine/prefix" "$prefix" >/dev/null
NOX_WINEPREFIX=$prefix "$repo/tests/wine/server" start

# The RC4 key as the Base provider derives it: the first 5 bytes of
# MD5("K731q" and its zero byte), then 11 zero bytes.
key=$(printf 'K731q\0' | md5sum | cut -c1-10)0000000000000000000000

# Runs one cipher on a fresh copy of the data of `mib` MiB; prints
# "seconds<TAB>MB/s<TAB>peak KiB" and leaves the result in $data/NAME.out.
Run() {
  local name=$1 mib=$2 file=$data/$1.out line
  cp "$data/plain-$mib" "$file"
  case $name in
    wine)
      line=$(cd "$prefix/drive_c" && WINEPREFIX=$prefix WINEDEBUG=-all \
        "$kWine" 'C:\nox-build\bin\tessel_cipher_bench.exe' \
        "C:\\nox-build\\tessel-bench-data\\$name.out" </dev/null | tr -d '\r')
      cut -f3- <<<"$line"
      ;;
    native)
      line=$("$native_build/bin/tessel_cipher_bench" "$file")
      cut -f3- <<<"$line"
      ;;
    openssl)
      local start end peak
      start=$(date +%s%N)
      peak=$( { /usr/bin/time -f %M openssl enc -rc4 -provider legacy -provider default \
        -K "$key" -in "$data/plain-$mib" -out "$file" ; } 2>&1 | tail -1)
      end=$(date +%s%N)
      awk -v ns=$((end - start)) -v bytes=$((mib * 1048576)) -v peak="$peak" \
        'BEGIN { s = ns / 1e9; printf "%.3f\t%.1f\t%s\n", s, bytes / s / 1e6, peak }'
      ;;
  esac
}

for mib in "$kSmallMib" "$size_mib"; do
  head -c $((mib * 1048576)) /dev/urandom >"$data/plain-$mib"
done

declare -A label=(
  [wine]="Encrypt_File, Tessel.dll (CryptoAPI) under Wine"
  [native]="portable RC4 core, native"
  [openssl]="openssl enc -rc4 (legacy provider)"
)
declare -A small full
for name in wine native openssl; do
  small[$name]=$(Run "$name" "$kSmallMib" | cut -f3)
  full[$name]=$(Run "$name" "$size_mib")
done

printf '%s MiB of random data, %s\n\n' "$size_mib" "$(uname -m)"
printf '%-50s %9s %9s %14s %14s\n' "cipher" "seconds" "MB/s" \
  "peak KiB ${kSmallMib}M" "peak KiB ${size_mib}M"
for name in wine native openssl; do
  IFS=$'\t' read -r seconds rate peak <<<"${full[$name]}"
  printf '%-50s %9s %9s %14s %14s\n' "${label[$name]}" "$seconds" "$rate" "${small[$name]}" "$peak"
done
if cmp -s "$data/wine.out" "$data/native.out" && cmp -s "$data/native.out" "$data/openssl.out"; then
  echo; echo "All three ciphered files are identical."
else
  echo; echo "The ciphered files differ!"; exit 1
fi
