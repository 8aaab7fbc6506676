#!/usr/bin/env bash
# Two releases from two checkouts of the same commit at different paths, made one after the
# other by tools/release, give the same program and the same Debian package byte for byte: no
# time stamp in the program's PE header, neither checkout's path in the program or the package's,
# and the PE checksum correct. The first release's dist/ is kept in KEEP_DIR, when given, for the
# package's own test (release-package-test.sh).
#   release-reproducible-test.sh SOURCE_DIR [KEEP_DIR]
set -uo pipefail
source_dir="$1"
keep_dir="${2:-}"
. "$(dirname "$0")/release-checkout.sh"
work="$(mktemp -d "${TMPDIR:-/tmp}/release-reproducible-XXXXXX")"
trap 'rm -rf "$work"' EXIT

# No earlier run's dist/ left for the package's test.
[[ -n "$keep_dir" ]] && rm -rf "$keep_dir"
yes "TERVAL 160 LX release test image, no firmware" | head -c 90224 >"$work/image.bin"
first="$work/a/terval-updater"
second="$work/another-folder/checkout-two"
for tree in "$first" "$second"; do
  checkout "$source_dir" "$tree" || { echo "FAIL cannot copy the tree to $tree"; exit 1; }
  # tools/release's temporary folders, where the package is built, within $work too, so that
  # the search for $work below finds their paths as well.
  mkdir -p "$tree.tmp"
  if ! TMPDIR="$tree.tmp" "$tree/tools/release" --image "$work/image.bin" >"$tree.log" 2>&1; then
    tail -20 "$tree.log"
    echo "FAIL tools/release in $tree"
    exit 1
  fi
done
if [[ -n "$keep_dir" ]]; then
  cp -a "$first/dist" "$keep_dir"
fi
sed -n '/^release: commit/,$p' "$first.log"

one="$first/dist/terval-updater.exe"
two="$second/dist/terval-updater.exe"
echo "$(sha256sum <"$one" | cut -d' ' -f1)  ${first#"$work"/}"
echo "$(sha256sum <"$two" | cut -d' ' -f1)  ${second#"$work"/}"
if cmp -s "$one" "$two"; then
  result ok "the two programs are the same bytes"
else
  result FAIL "the two programs differ" "$(cmp -l "$one" "$two" | wc -l) bytes"
fi
if cmp -s "$first/dist/SHA256SUMS" "$second/dist/SHA256SUMS"; then
  result ok "the two SHA256SUMS are the same"
else
  result FAIL "the two SHA256SUMS differ"
fi

found="$(strings -a "$one" "$two" | grep -F "$work" | head -3)"
if [[ -z "$found" ]]; then
  result ok "no checkout's path in the program"
else
  result FAIL "a checkout's path in the program" "$found"
fi

# The Debian packages: one each, of the same name, the same bytes.
packages_one=("$first"/dist/*.deb)
packages_two=("$second"/dist/*.deb)
if [[ ${#packages_one[@]} -eq 1 && -f "${packages_one[0]}" &&
      ${#packages_two[@]} -eq 1 && -f "${packages_two[0]}" ]]; then
  deb_one="${packages_one[0]}"
  deb_two="${packages_two[0]}"
  if [[ "$(basename "$deb_one")" == "$(basename "$deb_two")" ]] && cmp -s "$deb_one" "$deb_two"
  then
    result ok "the two packages $(basename "$deb_one") are the same bytes"
  else
    result FAIL "the two packages differ" \
      "$(basename "$deb_one") $(basename "$deb_two"): $(cmp "$deb_one" "$deb_two" 2>&1)"
    # What differs, for whoever looks into it: the members' listings and control fields.
    diff <(dpkg-deb -c "$deb_one") <(dpkg-deb -c "$deb_two") | head -10
    diff <(dpkg-deb -I "$deb_one") <(dpkg-deb -I "$deb_two") | head -10
  fi
  mkdir -p "$work/unpacked"
  dpkg-deb -x "$deb_one" "$work/unpacked"
  found="$(find "$work/unpacked" -type f -exec sh -c 'strings -a "$1"; zcat -f "$1"' sh {} \; |
           grep -F "$work" | head -3)"
  if [[ -z "$found" ]]; then
    result ok "no checkout's path in the package"
  else
    result FAIL "a checkout's path in the package" "$found"
  fi
else
  result FAIL "not one Debian package in each dist/" \
    "$(ls "$first/dist" "$second/dist" | tr '\n' ' ')"
fi

header="$(x86_64-w64-mingw32-objdump -p "$one")"
stamp="$(awk '/^Time\/Date/ {$1 = ""; print}' <<<"$header")"
if grep -q 1970 <<<"$stamp"; then
  result ok "PE time stamp 0"
else
  result FAIL "PE time stamp" "$stamp"
fi
# osslsigncode computes the checksum on its own and shows both values when they differ (older
# versions show both always).
verify="$(osslsigncode verify -in "$one" 2>&1)"
current="$(sed -n 's/^\(Current \)\{0,1\}PE checksum *: *//p' <<<"$verify")"
calculated="$(sed -n 's/^Calculated PE checksum *: *//p' <<<"$verify")"
if [[ -n "$current" && "$current" != 00000000 ]] &&
   [[ -z "$calculated" || "$calculated" == "$current" ]] &&
   ! grep -qi "invalid PE checksum" <<<"$verify"; then
  result ok "PE checksum $current correct"
else
  result FAIL "PE checksum" "$(grep -i checksum <<<"$verify" | tr '\n' ' ')"
fi

echo "$passes passed, $failures failed"
[[ $failures -eq 0 ]]
