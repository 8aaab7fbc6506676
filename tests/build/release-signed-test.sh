#!/usr/bin/env bash
# tools/release --sign with a throwaway self-signed certificate made here, and a time-stamp
# authority (RFC 3161) served here on 127.0.0.1 with a time-stamping certificate issued by it.
# With --test-certificate and --timestamp: the output says it is a test certificate; the program
# carries an Authenticode signature (SHA-256) and a time-stamp that osslsigncode verifies against
# that certificate, a damaged copy fails the check, SHA256SUMS names the signed file and the
# image by the digest stored in the program, and the signed program still runs under Wine (its
# main window, then closed with exit code 0). Then what is refused after the build, each time
# with a message and the dist/ of that release left exactly as it was: the same certificate
# without --test-certificate, a time-stamp authority that refuses, one that is not there, and
# one that no trusted root vouches for. No certificate or key outlives the test.
#   release-signed-test.sh SOURCE_DIR MAIN_WINDOW_E2E_TESTS_EXE
set -uo pipefail
source_dir="$1"
window_tests="$2"
. "$(dirname "$0")/release-checkout.sh"
work="$(mktemp -d "${TMPDIR:-/tmp}/release-signed-XXXXXX")"
trap '[[ -n "${tsa_pid:-}" ]] && kill "$tsa_pid"; rm -rf "$work"' EXIT

fail() {
  [[ -f "$work/openssl.log" ]] && cat "$work/openssl.log"
  echo "FAIL $*"
  exit 1
}

# The certificates: the signer's, self-signed (its own root), and time-stamping ones.
openssl req -x509 -newkey rsa:3072 -sha256 -nodes -days 2 \
  -subj "/CN=TERVAL release test (throwaway)" -addext "extendedKeyUsage=codeSigning" \
  -keyout "$work/key.pem" -out "$work/certificate.pem" >"$work/openssl.log" 2>&1 ||
  fail "cannot make the throwaway certificate"
echo "extendedKeyUsage=critical,timeStamping" >"$work/tsa.ext"
openssl req -new -newkey rsa:2048 -nodes -subj "/CN=TERVAL release test TSA (throwaway)" \
  -keyout "$work/tsa-key.pem" -out "$work/tsa.csr" >"$work/openssl.log" 2>&1 &&
  openssl x509 -req -in "$work/tsa.csr" -CA "$work/certificate.pem" -CAkey "$work/key.pem" \
    -set_serial 2 -days 2 -sha256 -extfile "$work/tsa.ext" -out "$work/tsa.pem" \
    >"$work/openssl.log" 2>&1 ||
  fail "cannot make the time-stamping certificate"
openssl req -x509 -newkey rsa:2048 -sha256 -nodes -days 2 -subj "/CN=Untrusted TSA (throwaway)" \
  -addext "extendedKeyUsage=critical,timeStamping" \
  -keyout "$work/untrusted-key.pem" -out "$work/untrusted.pem" >"$work/openssl.log" 2>&1 ||
  fail "cannot make the untrusted time-stamping certificate"

# tsa_config NAME: NAME.cnf, the openssl ts configuration of an authority signing with NAME.pem.
tsa_config() {
  echo 01 >"$work/$1.serial"
  cat >"$work/$1.cnf" <<CNF
[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
serial = $work/$1.serial
signer_cert = $work/$1.pem
signer_key = $work/$1-key.pem
signer_digest = sha256
default_policy = 1.3.6.1.4.1.4146.2.3
digests = sha256, sha384, sha512
ess_cert_id_alg = sha256
CNF
}
tsa_config tsa
tsa_config untrusted
coproc tsa_server { exec python3 "$(dirname "$0")/tsa-server.py" "/tsa=$work/tsa.cnf" \
                      "/untrusted=$work/untrusted.cnf" 2>"$work/tsa.log"; }
tsa_pid=$tsa_server_PID
read -r port <&"${tsa_server[0]}" || fail "the time-stamp authority did not start"
tsa="http://127.0.0.1:$port"

tree="$work/checkout"
head -c 90224 /dev/urandom >"$work/image.bin"
checkout "$source_dir" "$tree" || fail "cannot copy the tree to $tree"
release() {
  "$tree/tools/release" --image "$work/image.bin" --sign "$work/certificate.pem" "$work/key.pem" \
    "$@" >"$work/release.log" 2>&1
}

if ! release --test-certificate --timestamp "$tsa/tsa"; then
  tail -20 "$work/release.log"
  fail "tools/release --sign --test-certificate --timestamp"
fi
sed -n '/^release: commit/,$p' "$work/release.log"
signed="$tree/dist/terval-updater.exe"

if grep -q "^release: TEST CERTIFICATE: .*Never publish" "$work/release.log"; then
  result ok "the output says it was a test certificate"
else
  result FAIL "the output does not say it was a test certificate"
fi

# The self-signed certificate is its own root: verified with it as the only trusted one, for the
# signature and for the time-stamp.
if osslsigncode verify -CAfile "$work/certificate.pem" -TSA-CAfile "$work/certificate.pem" \
    -in "$signed" >"$work/verify.log" 2>&1; then
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
if grep -q "^Timestamp Server Signature verification: ok" "$work/verify.log" &&
   grep -q "CN=TERVAL release test TSA (throwaway)" "$work/verify.log"; then
  result ok "time-stamped by the test's authority"
else
  result FAIL "no verified time-stamp" "$(grep -i timestamp "$work/verify.log" | tr '\n' ' ')"
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
# The image's line: its digest, the one stored in the program that the program checks against.
image_digest="$(sed -n 's/  image\.bin$//p' "$tree/dist/SHA256SUMS")"
if [[ "$image_digest" == "$(sha256sum <"$work/image.bin" | cut -d' ' -f1)" ]] &&
   python3 -c 'import sys; sys.exit(bytes.fromhex(sys.argv[1]) not in open(sys.argv[2], "rb").read())' \
     "$image_digest" "$signed"; then
  result ok "SHA256SUMS holds the image's digest, the one stored in the program"
else
  result FAIL "the image's line in SHA256SUMS" "$image_digest"
fi

if LC_ALL=en_US.UTF-8 "$source_dir/tools/wine-run" --display --timeout 120 "$window_tests" \
    --expect=en --program="$signed" --gtest_filter='ProgramTest.*' \
    --gtest_brief=1; then
  result ok "the signed program runs under Wine"
else
  result FAIL "the signed program under Wine"
fi

# dist/ as it is: its entries (inode and time of change included) and its files' digests.
dist_state() {
  (cd "$tree" && find dist dist.new dist.old -printf '%p %y %s %i %C@\n' 2>/dev/null | sort &&
    sha256sum dist/*)
}
published="$(dist_state)"

# refused NAME PATTERN [RELEASE ARGS...]: the signed release refused after its build, with a
# message matching PATTERN, and the earlier dist/ untouched.
refused() {
  local name="$1" pattern="$2"
  shift 2
  if release "$@"; then
    result FAIL "$name" "not refused"
  elif ! tr -s "\n " "  " <"$work/release.log" | grep -q -- "$pattern"; then
    result FAIL "$name" "no message matching '$pattern'"
    tail -5 "$work/release.log"
  elif [[ "$(dist_state)" != "$published" ]]; then
    result FAIL "$name" "refused, but dist/ changed"
  else
    result ok "$name refused, dist/ as it was"
  fi
}
refused "the throwaway certificate without --test-certificate" \
  "does not verify against the system's trusted roots"
refused "a time-stamp authority that refuses" "signing failed (time-stamping by $tsa/refuse)" \
  --test-certificate --timestamp "$tsa/refuse"
refused "a time-stamp authority that is not there" "signing failed (time-stamping by" \
  --test-certificate --timestamp "http://127.0.0.1:1/"
refused "a time-stamp no trusted root vouches for" "time-stamp does not verify" \
  --test-certificate --timestamp "$tsa/untrusted"

echo "$passes passed, $failures failed"
[[ $failures -eq 0 ]]
