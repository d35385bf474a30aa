#!/usr/bin/env bash
# Checks the user's guide as a browser shows it: it loads with no outside resource, every
# section the guide promises is there, every in-page link has its target, and the page really
# renders (a screenshot with content, left in the build folder for a look).
# usage: check-readme.sh <ReadMe.htm> <screenshot.png>
set -u
readme=$(realpath "$1")
shot=$(realpath -m "$2")
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
browser=$(command -v chromium || true)
[ -n "$browser" ] || { echo "FAIL: chromium is not installed"; exit 1; }
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
# No network: a page that tried to load anything from outside would show it missing.
run_browser() {
    timeout 120 "$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars --user-data-dir="$profile" \
        --host-resolver-rules="MAP * ~NOTFOUND" --no-first-run --disable-extensions "$@" \
        "file://$readme" 2>/dev/null
}

if grep -Eiq '<(link|script|iframe|img|object|embed)[[:space:]>]|@import|url\(' "$readme"; then
    fail "the guide pulls in a resource: $(grep -Eio '<(link|script|iframe|img|object|embed)[^>]*>|@import[^;]*|url\([^)]*\)' "$readme" | head -1)"
fi
grep -q '<meta charset="utf-8">' "$readme" || fail "the guide does not declare its character set"

dom=$(run_browser --dump-dom)
[ -n "$dom" ] || fail "chromium shows nothing"
grep -q '<title>Nimbrel 1.9 - ReadMe</title>' <<<"$dom" || fail "the title is missing"
# The topics the guide covers, by their section ids.
for id in security modes keys create keyring keystore cmdline format folders about install; do
    grep -q "<h2 id=\"$id\"" <<<"$dom" || fail "no section \"$id\""
done
for text in "KeyRing.txt" "keyblock.txt" "PAD.txt" "ZEVK1300" "DefSet.txt" "/i=" "/o=" "/s=" "/f=" \
    "This file is a very bad keyfile." "The file will make an excellent keyfile."; do
    grep -qF -- "$text" <<<"$dom" || fail "the guide never mentions $text"
done
for target in $(grep -o 'href="#[^"]*"' "$readme" | sed 's/href="#\(.*\)"/\1/' | sort -u); do
    grep -q "id=\"$target\"" "$readme" || fail "the link #$target has no target"
done
# Chromium repairs broken markup silently; unbalanced sections show up as a count mismatch.
for tag in h2 table ul ol pre p; do
    opened=$(grep -o "<$tag[ >]" "$readme" | wc -l)
    closed=$(grep -o "</$tag>" "$readme" | wc -l)
    [ "$opened" -eq "$closed" ] || fail "<$tag> opened $opened times, closed $closed times"
done

# Every code box shows its lines whole at the screenshot's width: a line wider than its box is cut
# off behind a scroll bar. Measured on a copy of the guide with a probe in it.
guide="$readme"
readme="$profile/probe.htm"
sed 's#</body>#<script>var o=[];document.querySelectorAll("pre").forEach(function(p){if(p.scrollWidth>p.clientWidth)o.push(p.textContent.split("\\n")[0]);});document.body.setAttribute("data-cut",o.join(" | "));</script></body>#' \
    "$guide" >"$readme"
cut=$(run_browser --window-size=1000,2400 --dump-dom | grep -o 'data-cut="[^"]*"')
[ "$cut" = 'data-cut=""' ] || fail "a code box is too narrow for its line: $cut"
readme="$guide"

rm -f "$shot"
(cd "$profile" && run_browser --window-size=1000,2400 --screenshot="$shot" >/dev/null)
if [ ! -s "$shot" ]; then
    fail "no screenshot"
else
    # A blank or failed page is one flat colour.
    spread=$(convert "$shot" -colorspace Gray -format '%[fx:standard_deviation]' info: 2>/dev/null || echo 0)
    awk -v s="$spread" 'BEGIN { exit !(s > 0.05) }' || fail "the screenshot is blank (spread $spread)"
fi

[ "$failures" -eq 0 ] && echo "the guide renders: $shot"
[ "$failures" -eq 0 ]
