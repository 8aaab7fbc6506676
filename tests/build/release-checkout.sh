# Sourced by the tests of tools/release.
#
# checkout SOURCE DEST: the tree of SOURCE as it is now
# (its tracked files and those not yet tracked, less what it ignores) in DEST, as a fresh checkout
# of one commit, so that tools/release runs there as on a maker's clean clone. The commit's author,
# message and times are fixed, so that two checkouts of the same tree hold the same commit (the
# Debian package takes its files' times from it).
checkout() {
  local source="$1" dest="$2"
  mkdir -p "$dest" || return 1
  (cd "$source" && git ls-files -z --cached --others --exclude-standard |
    tar --null -T - --ignore-failed-read -cf - 2>/dev/null) | tar -xf - -C "$dest" || return 1
  git -C "$dest" init -q &&
    git -C "$dest" add -A &&
    GIT_AUTHOR_DATE="@1767225600 +0000" GIT_COMMITTER_DATE="@1767225600 +0000" \
      git -C "$dest" -c user.name="release test" -c user.email=release-test@localhost \
      commit -q -m "The tree under test"
}

# result ok|FAIL NAME [DETAIL]: one check's line, counted in passes and failures.
failures=0
passes=0
result() {
  if [[ "$1" == ok ]]; then
    echo "ok   $2"; passes=$((passes + 1))
  else
    echo "FAIL $2${3:+: $3}"; failures=$((failures + 1))
  fi
}
