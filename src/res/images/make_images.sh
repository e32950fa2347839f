#!/bin/sh
# Draws the installer's embedded pictures and the application icon.
#
#   product.png  256x256  product emblem (welcome and ISV download pages)
#   finish.png   512x512  success emblem (finish pages)
#   error.png    512x512  error emblem (error page)
#   ../app.ico   16, 32 and 48 px, same motif as product.png
#
# Needs ImageMagick (convert, or magick for version 7). Every shape is
# drawn on a canvas a whole multiple of the final size and box-filtered
# down, which gives clean anti-aliased edges on a transparent background.
# Dates and other variable chunks are left out, so running the script again
# writes identical bytes.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
out_dir=$here
ico_path=$(cd "$here/.." && pwd)/app.ico

if command -v magick >/dev/null 2>&1; then
    IM="magick"
elif command -v convert >/dev/null 2>&1; then
    IM="convert"
else
    echo "make_images.sh: ImageMagick (convert or magick) not found" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

PURPLE='rgb(103,51,153)'
GREEN='rgb(38,160,88)'
RED='rgb(214,52,52)'

# Options for reproducible, small PNG files.
png_opts="-strip -define png:exclude-chunk=date,time,tIME,zTXt,tEXt,iTXt,bKGD,gAMA,cHRM -define png:compression-level=9"

# The product emblem in a 1024x1024 design space: a purple rounded square
# with a white quill. The vane has two barb notches and a purple shaft line.
# $1: "full" for the detailed quill (256 and 48 px), "small" for a bolder
# one that still reads at 32 px, "tiny" for a plain silhouette at 16 px.
emblem_mvg() {
    case $1 in
        full)  rachis=18; shaft=36; notches=yes; corner=210; inset=32 ;;
        small) rachis=56; shaft=64; notches=no;  corner=190; inset=0 ;;
        *)     rachis=0;  shaft=96; notches=no;  corner=190; inset=0 ;;
    esac
    far=$((1023 - inset))
    cat <<EOF
fill '$PURPLE'
stroke none
roundrectangle $inset,$inset $far,$far $corner,$corner
fill white
path 'M 360,700 C 320,500 480,290 800,200 C 770,470 610,660 360,700 Z'
EOF
    if [ "$notches" = yes ]; then
        cat <<EOF
fill '$PURPLE'
polygon 392,432 446,404 474,500
polygon 655,586 690,548 598,520
EOF
    fi
    cat <<EOF
fill none
stroke white
stroke-width $shaft
stroke-linecap round
path 'M 372,688 L 250,820'
EOF
    if [ "$rachis" -gt 0 ]; then
        cat <<EOF
stroke '$PURPLE'
stroke-width $rachis
path 'M 400,662 Q 560,470 760,245'
EOF
    fi
}

# Success emblem in a 1024x1024 design space: green disc, white check mark.
finish_mvg() {
    cat <<EOF
fill '$GREEN'
stroke none
circle 512,512 512,24
fill none
stroke white
stroke-width 100
stroke-linecap round
stroke-linejoin round
polyline 282,530 442,688 750,358
EOF
}

# Error emblem in a 1024x1024 design space: red disc, white exclamation mark.
error_mvg() {
    cat <<EOF
fill '$RED'
stroke none
circle 512,512 512,24
fill none
stroke white
stroke-width 104
stroke-linecap round
line 512,250 512,590
fill white
stroke none
circle 512,768 512,826
EOF
}

# render <mvg-producer> <producer-arg> <final-size> <oversample> <output>
# The design space (1024) is scaled onto a canvas of final-size * oversample.
render() {
    producer=$1; arg=$2; size=$3; factor=$4; dest=$5
    canvas=$((size * factor))
    {
        echo "viewbox 0 0 $canvas $canvas"
        echo "affine $(awk "BEGIN { s = $canvas / 1024; printf \"%.6f,0,0,%.6f,0,0\", s, s }")"
        $producer "$arg"
    } > "$work/shape.mvg"
    # The drawing goes in as a string: common security policies refuse "@file".
    # shellcheck disable=SC2086
    $IM -size "${canvas}x${canvas}" xc:none -draw "$(cat "$work/shape.mvg")" \
        -filter Box -resize "${size}x${size}" $png_opts "PNG32:$dest"
}

render emblem_mvg full 256 4 "$out_dir/product.png"
render finish_mvg - 512 4 "$out_dir/finish.png"
render error_mvg - 512 4 "$out_dir/error.png"

render emblem_mvg tiny 16 16 "$work/icon16.png"
render emblem_mvg small 32 16 "$work/icon32.png"
render emblem_mvg full 48 16 "$work/icon48.png"
# shellcheck disable=SC2086
$IM "$work/icon16.png" "$work/icon32.png" "$work/icon48.png" $png_opts "ICO:$ico_path"

echo "wrote product.png, finish.png, error.png and $(basename "$ico_path")"
