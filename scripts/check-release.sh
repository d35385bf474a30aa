#!/usr/bin/env bash
# Checks the two release zips and installers as a Windows user would receive them: the right
# name and version, exactly the program, the console tool and the ReadMe (the installer also an
# empty DefSet.txt, the zip's files byte for byte), programs for the right
# processor that need no DLL beyond those every Windows has, and (for the 64-bit ones, which
# run here) programs that really do a job, the same job. A program that shows a window instead of ending is stopped after a
# minute.
# usage: check-release.sh <source folder> <release folder> <wine-run.sh>
set -u
source_dir="$1"
release_dir="$2"
wine_run="$3"
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

version=$(sed -n 's/^#define NIMBREL_VERSION_TEXT "\(.*\)"$/\1/p' "$source_dir/resources/version.h")
[ -n "$version" ] || fail "no version in version.h"
system_dlls="advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll shell32.dll user32.dll"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for kind in win32 win64; do
    zip="$release_dir/Nimbrel-$version-$kind.zip"
    echo "== $zip"
    if [ ! -f "$zip" ]; then
        fail "$zip is missing"
        continue
    fi
    listing=$(cmake -E tar tf "$zip" | sort | tr '\n' ' ')
    [ "$listing" = "Nimbrel.exe ReadMe.htm nimbrel-cli.exe " ] || fail "$kind zip holds: $listing"
    mkdir -p "$work/$kind"
    (cd "$work/$kind" && cmake -E tar xf "$zip") || fail "$kind zip does not unpack"
    cmp -s "$work/$kind/ReadMe.htm" "$source_dir/resources/ReadMe.htm" || fail "$kind ReadMe.htm differs from the source"

    case $kind in
    win32) objdump=i686-w64-mingw32-objdump magic="010b" ;;
    win64) objdump=x86_64-w64-mingw32-objdump magic="020b" ;;
    esac
    for program in Nimbrel.exe:GUI nimbrel-cli.exe:CUI; do
        exe=${program%%:*}
        headers=$("$objdump" -p "$work/$kind/$exe" 2>&1)
        grep -q "^Magic[[:space:]]*$magic" <<<"$headers" || fail "$kind $exe is not a PE of the right kind"
        case ${program##*:} in
        GUI) grep -q "Subsystem.*(Windows GUI)" <<<"$headers" || fail "$kind $exe is not a GUI program" ;;
        CUI) grep -q "Subsystem.*(Windows CUI)" <<<"$headers" || fail "$kind $exe is not a console program" ;;
        esac
        for dll in $(grep 'DLL Name:' <<<"$headers" | awk '{print tolower($3)}'); do
            case " $system_dlls " in
            *" $dll "*) ;;
            *) fail "$kind $exe needs $dll, which Windows does not have" ;;
            esac
        done
        grep -q "^Time/Date[[:space:]]*Thu Jan  1 00:00:00 1970" <<<"$headers" ||
            fail "$kind $exe carries a link time: $(grep '^Time/Date' <<<"$headers")"
        if "$objdump" -h "$work/$kind/$exe" | grep -q '\.debug_'; then
            fail "$kind $exe still carries debugging information"
        fi
    done

    # The installer holds the zip's files, byte for byte, and an empty DefSet.txt (installed
    # mode), for the right processor and this version.
    msi="$release_dir/Nimbrel-$version-$kind.msi"
    echo "== $msi"
    if [ ! -f "$msi" ]; then
        fail "$msi is missing"
        continue
    fi
    mkdir -p "$work/msi-$kind"
    msiextract -C "$work/msi-$kind" "$msi" >/dev/null || fail "$kind installer does not unpack"
    # msiextract names the 32-bit program folder "Program Files" and leaves out the 64-bit one.
    installed=$(dirname "$(find "$work/msi-$kind" -name Nimbrel.exe | head -n 1)")
    listing=$(cd "$installed" 2>/dev/null && ls | sort | tr '\n' ' ')
    [ "$listing" = "DefSet.txt Nimbrel.exe ReadMe.htm nimbrel-cli.exe " ] || fail "$kind installer holds: $listing"
    for file in Nimbrel.exe nimbrel-cli.exe ReadMe.htm; do
        cmp -s "$installed/$file" "$work/$kind/$file" || fail "$kind installer's $file differs from the zip's"
    done
    [ -f "$installed/DefSet.txt" ] && [ ! -s "$installed/DefSet.txt" ] || fail "$kind installer's DefSet.txt is not empty"
    case $kind in
    win32) template="Intel;1033" ;;
    win64) template="x64;1033" ;;
    esac
    msiinfo suminfo "$msi" | grep -qx "Template: $template" || fail "$kind installer is not for $template"
    product_version=$(msiinfo export "$msi" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductVersion" { print $2 }')
    [ "${product_version%.*}" = "$version" ] || fail "$kind installer is version $product_version"
done

# The packed 64-bit program encrypts and decrypts a file, windowless.
exe="$work/win64/Nimbrel.exe"
if [ -f "$exe" ]; then
    mkdir -p "$work/job"
    head -c 100000 /dev/urandom >"$work/job/data.bin"
    wine_path() { echo "Z:${1//\//\\}"; }
    timeout 60 "$wine_run" "$exe" "/i=$(wine_path "$work/job/data.bin")" /s=release-check >/dev/null 2>&1
    timeout 60 "$wine_run" "$exe" "/i=$(wine_path "$work/job/XOR data.bin")" /s=release-check >/dev/null 2>&1
    if [ ! -f "$work/job/XOR data.bin" ]; then
        fail "the packed program wrote no output"
    elif cmp -s "$work/job/XOR data.bin" "$work/job/data.bin"; then
        fail "the packed program's output equals its input"
    elif ! cmp -s "$work/job/XOR XOR data.bin" "$work/job/data.bin"; then
        fail "the packed program did not restore the file"
    fi
    # The packed console tool writes the very same file.
    mkdir -p "$work/cli"
    cp "$work/job/data.bin" "$work/cli/data.bin"
    timeout 60 "$wine_run" "$work/win64/nimbrel-cli.exe" xor "$(wine_path "$work/cli/data.bin")" \
        --key-string release-check --quiet >/dev/null 2>&1 || fail "the packed console tool failed"
    cmp -s "$work/cli/XOR data.bin" "$work/job/XOR data.bin" || fail "the packed console tool's output differs"
fi

if [ "$failures" -eq 0 ]; then
    echo "release zips and installers are sound"
fi
[ "$failures" -eq 0 ]
