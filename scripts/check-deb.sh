#!/usr/bin/env bash
# Checks the console tool's Debian package as a user would get it:
#   scripts/check-deb.sh build/release/nimbrel_1.9_amd64.deb
# lintian without an error or a warning, the files where Debian wants them with the right
# modes, a stripped tool that runs from the unpacked package and undoes its own XOR, and a
# manual page that man reads. One FAIL line per problem; the exit status is 1 if there is any.
set -u

if [ $# -ne 1 ]; then
    echo "usage: $0 PACKAGE.deb" >&2
    exit 64
fi
deb=$1
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

if [ ! -f "$deb" ]; then
    echo "FAIL: no package $deb"
    exit 1
fi
for tool in lintian dpkg-deb man readelf cmp zcat; do
    if ! command -v "$tool" >/dev/null; then
        echo "FAIL: $tool is missing (scripts/install-deps.sh installs it)"
        exit 1
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# lintian's own exit status says only whether a tag reached the level given to --fail-on; the
# tag lines say which. A failure without a tag line is lintian itself failing. Its complaint
# about running as root goes to standard error and is no problem of the package.
lintian_status=0
lintian --fail-on error,warning "$deb" >"$work/lintian.txt" 2>"$work/lintian.err" || lintian_status=$?
tags=$(grep -E '^[EW]: ' "$work/lintian.txt")
if [ -n "$tags" ]; then
    while IFS= read -r tag; do
        fail "lintian: $tag"
    done <<<"$tags"
elif [ "$lintian_status" -ne 0 ]; then
    fail "lintian exited with $lintian_status: $(cat "$work/lintian.txt" "$work/lintian.err")"
fi

root=$work/root
if ! dpkg-deb -x "$deb" "$root"; then
    fail "dpkg-deb cannot unpack $deb"
    echo "check-deb: $failures problem(s) in $deb"
    exit 1
fi

package=$(dpkg-deb -f "$deb" Package)
version=$(dpkg-deb -f "$deb" Version)

# cpack escapes a description file's text for XML; lintian does not notice "&apos;" in it.
description=$(dpkg-deb -f "$deb" Description)
if grep -qE '&(apos|quot|amp|lt|gt);' <<<"$description"; then
    fail "the package's Description holds XML escapes: $(grep -oE '&[a-z]+;' <<<"$description" | sort -u | tr '\n' ' ')"
fi

tool=$root/usr/bin/nimbrel
manual=$root/usr/share/man/man1/nimbrel.1.gz
doc=$root/usr/share/doc/$package

check_mode() {
    local file=$1 want=$2 mode
    if [ ! -f "$file" ]; then
        fail "${file#"$root"} is not in the package"
        return 1
    fi
    mode=$(stat -c %a "$file")
    [ "$mode" = "$want" ] || fail "${file#"$root"} has mode $mode, not $want"
    return 0
}
check_mode "$tool" 755
check_mode "$manual" 644
check_mode "$doc/copyright" 644
check_mode "$doc/changelog.gz" 644

# Debian's changelog names the version the package says it is; a new version needs an entry.
if [ -f "$doc/changelog.gz" ]; then
    first=$(zcat "$doc/changelog.gz" | head -n 1)
    case "$first" in
    "$package ($version) "*) ;;
    *) fail "changelog.gz begins \"$first\", not with $package ($version)" ;;
    esac
fi

if [ -f "$tool" ]; then
    if ! sections=$(readelf -S -W "$tool" 2>/dev/null); then
        fail "usr/bin/nimbrel is not an ELF program"
    elif grep -qE '\.symtab|\.debug_' <<<"$sections"; then
        fail "usr/bin/nimbrel is not stripped"
    fi

    "$tool" --help >"$work/help.txt" 2>&1 || fail "usr/bin/nimbrel --help exits with $?"
    grep -q '^Usage: nimbrel' "$work/help.txt" || fail "usr/bin/nimbrel --help prints no usage"

    # A round trip through two output folders, so that the second run reads only the first
    # run's output. The output must also differ from the input: a tool that copied the file
    # would pass the round trip alone.
    mkdir -p "$work/data/once" "$work/data/twice"
    head -c 4096 /dev/urandom >"$work/data/plain.bin"
    if ! "$tool" xor "$work/data/plain.bin" --key-string k -o "$work/data/once" 2>"$work/xor.err"; then
        fail "nimbrel xor exits with an error: $(cat "$work/xor.err")"
    else
        once=$(find "$work/data/once" -type f)
        if [ "$(wc -l <<<"$once")" -ne 1 ] || [ ! -f "$once" ]; then
            fail "nimbrel xor did not write one file into its output folder"
        elif cmp -s "$work/data/plain.bin" "$once"; then
            fail "nimbrel xor wrote the file unchanged"
        elif ! "$tool" xor "$once" --key-string k -o "$work/data/twice" 2>"$work/xor.err"; then
            fail "nimbrel xor of its own output exits with an error: $(cat "$work/xor.err")"
        else
            twice=$(find "$work/data/twice" -type f)
            if [ "$(wc -l <<<"$twice")" -ne 1 ] || [ ! -f "$twice" ]; then
                fail "the second nimbrel xor did not write one file into its output folder"
            elif ! cmp -s "$work/data/plain.bin" "$twice"; then
                fail "nimbrel xor twice with the same key does not give the original back"
            fi
        fi
    fi
fi

if [ -f "$manual" ]; then
    if ! gzip -t "$manual" 2>/dev/null; then
        fail "usr/share/man/man1/nimbrel.1.gz is not gzip data"
    else
        # Groff's warnings about the markup are lintian's groff-message; this is about whether
        # man can show the page at all, so anything man itself says on standard error fails.
        LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$manual" >"$work/man.txt" 2>"$work/man.err" || fail "man -l cannot format the manual page"
        [ -s "$work/man.err" ] && fail "man -l complains about the manual page: $(cat "$work/man.err")"
        if ! grep -q '^NAME' "$work/man.txt" || ! grep -q 'nimbrel' "$work/man.txt"; then
            fail "man -l shows no NAME section naming nimbrel"
        fi
    fi
fi

if [ "$failures" -ne 0 ]; then
    echo "check-deb: $failures problem(s) in $deb"
    exit 1
fi
echo "check-deb: $deb is lintian-clean, installs its files as Debian wants and runs"
