#!/usr/bin/env bash
# Two releases from two checkouts of the same commit at different paths, made one after the
# other by tools/release, give the same program byte for byte: no time stamp in its PE header,
# neither checkout's path in it, and its checksum correct.
#   release-reproducible-test.sh SOURCE_DIR
set -uo pipefail
source_dir="$1"
. "$(dirname "$0")/release-checkout.sh"
work="$(mktemp -d "${TMPDIR:-/tmp}/release-reproducible-XXXXXX")"
trap 'rm -rf "$work"' EXIT

yes "TERVAL 160 LX release test image, no firmware" | head -c 90224 >"$work/image.bin"
first="$work/a/terval-updater"
second="$work/another-folder/checkout-two"
for tree in "$first" "$second"; do
  checkout "$source_dir" "$tree" || { echo "FAIL cannot copy the tree to $tree"; exit 1; }
  if ! "$tree/tools/release" --image "$work/image.bin" >"$tree.log" 2>&1; then
    tail -20 "$tree.log"
    echo "FAIL tools/release in $tree"
    exit 1
  fi
done

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
