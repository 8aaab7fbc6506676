#!/usr/bin/env bash
# tools/release --sign with a throwaway self-signed certificate made here: the program carries an
# Authenticode signature (SHA-256) that osslsigncode verifies against that certificate, a damaged
# copy fails the check, SHA256SUMS names the signed file, and the signed program still runs under
# Wine (its main window, then closed with exit code 0). No certificate or key outlives the test.
#   release-signed-test.sh SOURCE_DIR MAIN_WINDOW_E2E_TESTS_EXE
set -uo pipefail
source_dir="$1"
window_tests="$2"
. "$(dirname "$0")/release-checkout.sh"
work="$(mktemp -d "${TMPDIR:-/tmp}/release-signed-XXXXXX")"
trap 'rm -rf "$work"' EXIT

if ! openssl req -x509 -newkey rsa:3072 -sha256 -nodes -days 2 \
    -subj "/CN=TERVAL release test (throwaway)" -addext "extendedKeyUsage=codeSigning" \
    -keyout "$work/key.pem" -out "$work/certificate.pem" >"$work/openssl.log" 2>&1; then
  cat "$work/openssl.log"
  echo "FAIL cannot make the throwaway certificate"
  exit 1
fi

tree="$work/checkout"
head -c 90224 /dev/urandom >"$work/image.bin"
checkout "$source_dir" "$tree" || { echo "FAIL cannot copy the tree to $tree"; exit 1; }
if ! "$tree/tools/release" --image "$work/image.bin" \
    --sign "$work/certificate.pem" "$work/key.pem" >"$work/release.log" 2>&1; then
  tail -20 "$work/release.log"
  echo "FAIL tools/release --sign"
  exit 1
fi
sed -n '/^release: commit/,$p' "$work/release.log"
signed="$tree/dist/terval-updater.exe"

# The self-signed certificate is its own root: verified with it as the only trusted one.
if osslsigncode verify -CAfile "$work/certificate.pem" -in "$signed" >"$work/verify.log" 2>&1; then
  result ok "the signature verifies against the throwaway certificate"
else
  result FAIL "the signature does not verify" "$(tail -5 "$work/verify.log")"
fi
if grep -q "^Message digest algorithm *: SHA256" "$work/verify.log" &&
   grep -q "Subject: /CN=TERVAL release test (throwaway)" "$work/verify.log"; then
  result ok "SHA-256 Authenticode signature by the throwaway certificate"
else
  result FAIL "not a SHA-256 signature by the throwaway certificate"
fi

python3 - "$signed" "$work/damaged.exe" <<'PY'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
data[len(data) // 2] ^= 0x01
open(sys.argv[2], "wb").write(data)
PY
if ! osslsigncode verify -CAfile "$work/certificate.pem" -in "$work/damaged.exe" >/dev/null 2>&1; then
  result ok "a damaged copy fails the check"
else
  result FAIL "a damaged copy passes the check"
fi

if (cd "$tree/dist" && sha256sum --quiet --ignore-missing -c SHA256SUMS); then
  result ok "SHA256SUMS holds the signed program's digest"
else
  result FAIL "SHA256SUMS does not match the signed program"
fi

if LC_ALL=en_US.UTF-8 "$source_dir/tools/wine-run" --display --timeout 120 "$window_tests" \
    --expect=en --program="$signed" --gtest_filter='ProgramTest.*' \
    --gtest_brief=1; then
  result ok "the signed program runs under Wine"
else
  result FAIL "the signed program under Wine"
fi

echo "$passes passed, $failures failed"
[[ $failures -eq 0 ]]
