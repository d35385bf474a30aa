#!/bin/sh
# Remakes the program's three icons in resources/ with ImageMagick alone:
#   program.ico   (500) a blue padlock marked with an N: the program itself
#   keys.ico      (501) a gold and a silver key: key material, shown in the About dialog
#   container.ico (502) a sheet under a gold padlock: the ".qdx" container files in the shell
# Each file holds 16, 32, 48 and 256 pixel images (ImageMagick stores the 256 one as PNG).
# usage: scripts/make-icons.sh
#
# The drawings use a 32 x 32 grid. The edges of the main shapes lie on even numbers, so they
# fall on whole pixels at 16, 32 and 48 px and the small images stay sharp. Every shape gets a
# dark outline that grows outwards from it; its width is chosen per size (one pixel up to
# 48 px), so the geometry keeps two units of margin for the widest, the 16 px one.
set -eu
cd "$(dirname "$0")/.."
command -v convert >/dev/null 2>&1 || { echo "make-icons.sh: ImageMagick's convert is missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Set per image by render(): the size in pixels and the stroke width of the outlines (twice
# the outline, since a stroke grows to both sides), in grid units.
size=32
line=2

# shackle <centre x> <centre y> <radius> <thickness> <foot y>: the steel bow of a padlock, an
# arch whose legs end at the foot (hidden behind the body), drawn as one closed band.
shackle() {
    band=$(awk -v x="$1" -v y="$2" -v r="$3" -v t="$4" -v foot="$5" 'BEGIN {
        o = r + t / 2; i = r - t / 2
        printf "path \047M %g %g L %g %g A %g %g 0 0 1 %g %g L %g %g L %g %g L %g %g A %g %g 0 0 0 %g %g L %g %g Z\047",
            x - o, foot, x - o, y, o, o, x + o, y, x + o, foot,
            x + i, foot, x + i, y, i, i, x - i, y, x - i, foot }')
    cat <<EOF
stroke '#2f353d' stroke-width $line fill '#2f353d'
$band
stroke none fill '#c9d0d8'
$band
EOF
}

# A padlock with a steel shackle and a blue body carrying a white N.
draw_program() {
    thick=4
    # One pixel at 16 px: a thicker shackle would close its hole at that size.
    [ "$size" -le 16 ] && thick=2
    shackle 16 10 5 "$thick" 17
    cat <<EOF
stroke '#0d2152' stroke-width $line fill '#0d2152'
roundrectangle 4,15 28,30 2,2
stroke none fill '#78a6f2'
roundrectangle 4,15 28,30 2,2
fill '#2467d9'
path 'M 4 17 L 28 17 L 28 28 A 2 2 0 0 1 26 30 L 6 30 A 2 2 0 0 1 4 28 Z'
fill '#ffffff'
path 'M 10 28 L 10 19 L 12.6 19 L 20 25.4 L 20 19 L 22 19 L 22 28 L 19.4 28 L 12 21.6 L 12 28 Z'
EOF
}

# One key, bow on the left, bit at the right end pointing down.
key_shape() {
    cat <<EOF
circle 8,8 8,2
rectangle 13,6 30,10
rectangle 20,10 24,14
rectangle 26,10 30,16
EOF
}

# key <metal> <rim> <glint>
key() {
    cat <<EOF
stroke '$2' stroke-width $line fill '$2'
$(key_shape)
stroke none fill '$1'
$(key_shape)
fill '$2'
circle 8,8 8,6
EOF
    # The glint along the shaft needs more than the two pixels the shaft has at 16 px.
    if [ "$size" -gt 16 ]; then
        printf "fill '%s'\nrectangle 14,6 30,7\n" "$3"
    fi
}

# Two keys: a silver one lying behind, turned the other way, and a gold one in front.
draw_keys() {
    cat <<EOF
push graphic-context
translate 32,14
scale -1,1
$(key '#c4ccd4' '#3a4048' '#eef2f6')
pop graphic-context
$(key '#f0b420' '#6b4700' '#ffe08a')
EOF
}

# A white sheet with a turned corner and lines of text, and a gold padlock at its foot.
draw_container() {
    # At 32 px and below the keyhole is a slot; above there is room for its round top.
    if [ "$size" -le 32 ]; then
        hole="rectangle 22,23 24,27"
    else
        hole="circle 23,23.5 23,22
path 'M 22.3 24 L 23.7 24 L 24.2 27.5 L 21.8 27.5 Z'"
    fi
    cat <<EOF
stroke-linejoin miter
stroke '#505a66' stroke-width $line fill '#505a66'
path 'M 4 2 L 18 2 L 24 8 L 24 30 L 4 30 Z'
stroke none fill '#ffffff'
path 'M 4 2 L 18 2 L 24 8 L 24 30 L 4 30 Z'
fill '#dde3ea'
path 'M 18 2 L 18 8 L 24 8 Z'
fill '#8f9baa'
rectangle 8,8 16,10
rectangle 8,12 20,14
rectangle 8,16 18,18
rectangle 8,20 14,22
rectangle 8,24 12,26
$(shackle 23 17 4 2 21)
stroke '#6b4700' stroke-width $line fill '#6b4700'
roundrectangle 16,20 30,30 1,1
stroke none fill '#ffe08a'
roundrectangle 16,20 30,30 1,1
fill '#f0b420'
rectangle 16,22 30,30
fill '#6b4700'
$hole
EOF
}

# render <drawing> <size> <png>: drawn at 16 times the size (4 times for 256 px) and scaled
# down by averaging, which gives each edge pixel its exact coverage.
render() {
    size=$2
    case $size in
    16) line=4 ;;         # outline 1 px
    32) line=2 ;;         # 1 px
    48) line=1.3333 ;;    # 1 px
    *) line=1.5 ;;        # 6 px at 256
    esac
    over=16
    [ "$size" -gt 48 ] && over=4
    big=$((size * over))
    k=$(awk -v b="$big" 'BEGIN { printf "%g", b / 32 }')
    convert -size "${big}x${big}" xc:none -draw "scale $k,$k
$($1)" -scale "${size}x${size}" "PNG32:$3"
}

for icon in program keys container; do
    for s in 16 32 48 256; do
        render "draw_$icon" "$s" "$work/$icon-$s.png"
    done
    convert "$work/$icon-16.png" "$work/$icon-32.png" "$work/$icon-48.png" "$work/$icon-256.png" \
        "resources/$icon.ico"
    echo "resources/$icon.ico"
done
