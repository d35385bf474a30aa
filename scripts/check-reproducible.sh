#!/usr/bin/env bash
# Builds the commit checked out once more, from its own files (git archive) in another folder
# and at another time, and checks that the release files come out byte for byte as in the given
# release folder. Run by scripts/release.sh after its own build.
# usage: check-reproducible.sh <release folder>
set -u
cd "$(dirname "$0")/.."
release=$(cd "$1" && pwd)
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "check-reproducible.sh: the work tree has changes that are not committed; the rebuild is of" \
         "the commit $(git rev-parse --short HEAD) alone, so files the changes touch will differ" >&2
fi
export SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}"
# A folder of another name and depth than the first build's.
rebuild=$(mktemp -d /tmp/nimbrel-rebuild.XXXXXX)
trap 'rm -rf "$rebuild"' EXIT
mkdir -p "$rebuild/another/source"
git archive HEAD | tar -x -C "$rebuild/another/source"
echo "== rebuilding $(git rev-parse --short HEAD) in $rebuild/another/source"
if ! NIMBREL_NO_REBUILD=1 "$rebuild/another/source/scripts/release.sh" >"$rebuild/release.log" 2>&1; then
    tail -n 30 "$rebuild/release.log"
    echo "FAIL: the rebuild failed"
    exit 1
fi
failures=0
count=0
for first in "$release"/Nimbrel-*.zip "$release"/Nimbrel-*.msi "$release"/nimbrel_*.deb; do
    name=$(basename "$first")
    second="$rebuild/another/source/build/release/$name"
    count=$((count + 1))
    if [ ! -f "$second" ]; then
        echo "FAIL: the rebuild made no $name"
        failures=$((failures + 1))
    elif ! cmp -s "$first" "$second"; then
        echo "FAIL: $name differs in the rebuild"
        failures=$((failures + 1))
    fi
done
if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "reproducible: the rebuild gave the same $count files, byte for byte"
