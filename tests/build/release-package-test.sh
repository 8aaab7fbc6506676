#!/usr/bin/env bash
# The Debian package of the Linux program that a release made (DIST_DIR, a release's dist/):
# lintian finds no error (its warnings shown); SHA256SUMS holds its digest; installed with dpkg
# into a fresh Debian 12 tree made by debootstrap, in a chroot, the program prints the package's
# version, `status` ends with exit code 2 and the no-unit text (the tree has no /sys, so no unit),
# the manual page renders and says what `--help` says (each option and each exit code, the usage
# lines), the bash completion offers each command's options, and the udev rule is the tree's;
# then purged, it leaves no file behind.
#   release-package-test.sh DIST_DIR SOURCE_DIR
#
# The tree: debootstrap --variant=minbase --include=man-db of bookworm from Debian's mirror, made
# once and kept as a tarball in ~/.cache/terval-deb-tree (delete it to make it anew), unpacked
# afresh for every run.
set -uo pipefail
dist="$1"
source_dir="$2"
. "$(dirname "$0")/release-checkout.sh"
work="$(mktemp -d "${TMPDIR:-/tmp}/release-package-XXXXXX")"
root="$work/root"
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL $*"
  echo "$passes passed, $((failures + 1)) failed"
  exit 1
}

packages=("$dist"/*.deb)
[[ ${#packages[@]} -eq 1 && -f "${packages[0]}" ]] ||
  fail "not one Debian package in $dist: $(ls "$dist" 2>&1 | tr '\n' ' ')"
package="${packages[0]}"
name="$(dpkg-deb --field "$package" Package)"
version="$(dpkg-deb --field "$package" Version)"
echo "package: $(basename "$package") ($name $version)"

if (cd "$dist" && sha256sum --quiet -c <(grep -F " $(basename "$package")" SHA256SUMS)); then
  result ok "SHA256SUMS holds the package's digest"
else
  result FAIL "SHA256SUMS does not hold the package's digest"
fi

# lintian: its whole output shown; an error fails.
lintian_output="$(timeout 300 lintian --fail-on error "$package" 2>&1)"
lintian_status=$?
tags="$(grep -v "^running with root privileges is not recommended" <<<"$lintian_output")"
sed 's/^/lintian: /' <<<"${tags:-no tags}"
if [[ $lintian_status -eq 0 ]] && ! grep -q "^E: " <<<"$lintian_output"; then
  result ok "lintian shows no error"
else
  result FAIL "lintian shows errors" "exit status $lintian_status"
fi

# The Debian 12 tree, made once by debootstrap, unpacked afresh.
cache="${XDG_CACHE_HOME:-$HOME/.cache}/terval-deb-tree"
tarball="$cache/bookworm-minbase-man-db.tar"
if [[ ! -f "$tarball" ]]; then
  echo "making the Debian 12 tree with debootstrap (once; kept in $tarball)"
  mkdir -p "$cache"
  if ! timeout 900 debootstrap --variant=minbase --include=man-db bookworm "$work/made" \
      http://deb.debian.org/debian >"$work/debootstrap.log" 2>&1; then
    tail -20 "$work/debootstrap.log"
    fail "debootstrap of bookworm"
  fi
  tar --numeric-owner -C "$work/made" -cf "$tarball.new" . && mv "$tarball.new" "$tarball" ||
    fail "cannot keep the tree in $tarball"
  rm -rf "$work/made"
fi
mkdir "$root" && tar --numeric-owner -xpf "$tarball" -C "$root" || fail "cannot unpack $tarball"

# in_tree COMMAND...: COMMAND in the chroot, with a plain environment, within 60 s.
in_tree() {
  timeout 60 chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    LC_ALL=C "$@"
}

# Everything in the tree but what dpkg keeps about packages (its database under var/lib/dpkg and
# its log var/log/dpkg.log, which record the installation and purge by design) and man-db's
# index cache (var/cache/man, which man and the package's trigger rebuild).
tree_files() {
  (cd "$root" && find . -xdev \( -path ./var/lib/dpkg -o -path ./var/cache/man -o \
    -path ./var/log/dpkg.log -o -path ./tmp/package.deb \) -prune -o -printf '%p %y\n' | sort)
}
before="$(tree_files)"

cp "$package" "$root/tmp/package.deb"
if in_tree dpkg -i /tmp/package.deb >"$work/dpkg.log" 2>&1; then
  result ok "dpkg -i installs the package into a fresh Debian 12 tree"
else
  cat "$work/dpkg.log"
  fail "dpkg -i of the package"
fi

printed="$(in_tree "$name" --version 2>&1 | head -1)"
if [[ "$printed" == "$name $version" ]]; then
  result ok "$name --version prints the package's version: $printed"
else
  result FAIL "$name --version" "'$printed', not '$name $version'"
fi

status_output="$(in_tree "$name" status 2>&1)"
status_code=$?
if [[ $status_code -eq 2 ]] && grep -q "^No programming unit was found" <<<"$status_output"; then
  result ok "$name status: exit code 2 and the no-unit text"
else
  result FAIL "$name status" "exit code $status_code: $(head -3 <<<"$status_output")"
fi

# The page as man renders it, one paragraph a line, without the overstrikes of bold (col comes
# with man-db), beside --help.
if in_tree sh -c 'MANWIDTH=4000 man "$1" | col -b' sh "$name" >"$work/page.txt" \
     2>"$work/man.log" && grep -q "^NAME" "$work/page.txt"; then
  result ok "man $name renders"
else
  cat "$work/man.log"
  result FAIL "man $name does not render"
fi
in_tree "$name" --help >"$work/help.txt" 2>&1
if disagreements="$(python3 - "$work/help.txt" "$work/page.txt" <<'PY'
import re
import sys

help_text = open(sys.argv[1]).read()
page = " ".join(open(sys.argv[2]).read().split())
blocks = [block for block in help_text.split("\n\n") if block.strip()]
said = []
# The usage lines.
for line in blocks[0].split("\n"):
    said.append(re.sub(r"^Usage: ", "", line.strip()))
# Each command and option with its text ("  --device PATH only the ..."), lines joined.
entries = []
for line in blocks[2].split("\n"):
    if re.match(r"  \S", line) or not entries:
        entries.append(line)
    else:
        entries[-1] += " " + line
said += entries
# Each exit code with its text, and what follows them.
exits = " ".join(blocks[3].split())
codes, _, remark = exits.removeprefix("Exit codes: ").partition(". ")
said += re.split(r", (?=\d+ )", codes)
said.append(remark)
missing = [" ".join(text.split()) for text in said if " ".join(text.split()) not in page]
print("\n".join(missing))
sys.exit(1 if missing or len(entries) < 2 or len(said) < 10 else 0)
PY
)"; then
  result ok "the manual page says what --help says (usage, options, exit codes)"
else
  result FAIL "the manual page does not say what --help says" "$disagreements"
fi

completions="/usr/share/bash-completion/completions/$name"
# complete WORDS...: what the completion offers for the last word, space-separated.
complete() {
  in_tree bash -c '. "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
                   _terval_updater_cli; echo "${COMPREPLY[*]}"' complete "$completions" "$@"
}
touch "$root/root/run.log"
while IFS='|' read -r words expected; do
  # shellcheck disable=SC2086
  offered="$(complete $words "")"
  if [[ "$offered" == "$expected" ]]; then
    result ok "completion of '$words': $expected"
  else
    result FAIL "completion of '$words'" "'$offered', not '$expected'"
  fi
done <<'CASES'
terval-updater-cli|status update --help --version
terval-updater-cli status|--json --device --log
terval-updater-cli update --yes|--yes --wait --device --all --log
CASES
offered="$(complete terval-updater-cli update --log /root/run.)"
if [[ "$offered" == "/root/run.log" ]]; then
  result ok "completion of --log: file names"
else
  result FAIL "completion of --log" "'$offered'"
fi
rm "$root/root/run.log"

rule=/usr/lib/udev/rules.d/70-terval-updater.rules
if cmp -s "$root$rule" "$source_dir/resources/linux/70-terval-updater.rules"; then
  result ok "the udev rule in $rule"
else
  result FAIL "no udev rule $rule, or not the tree's"
fi

if in_tree dpkg --purge "$name" >"$work/purge.log" 2>&1; then
  result ok "dpkg --purge removes the package"
else
  cat "$work/purge.log"
  result FAIL "dpkg --purge of the package"
fi
rm -f "$root/tmp/package.deb"
left="$(diff <(echo "$before") <(tree_files))"
if [[ -z "$left" ]]; then
  result ok "after the purge the tree holds the same files as before the installation"
else
  result FAIL "the tree after the purge differs from before the installation" \
    "$(head -20 <<<"$left")"
fi

echo "$passes passed, $failures failed"
[[ $failures -eq 0 ]]
