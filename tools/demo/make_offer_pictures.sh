#!/bin/sh
# Draws the demo campaign's offer pictures (546x320, the offer page's picture area)
# into f/. Needs ImageMagick. Dates and other variable chunks are left out, so a
# second run writes the same bytes.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
if command -v magick >/dev/null 2>&1; then IM=magick; else IM=convert; fi
png_opts="-strip -define png:exclude-chunk=date,time,tIME,zTXt,tEXt,iTXt -define png:compression-level=9"

# picture NAME BACKGROUND ACCENT TITLE TAGLINE
picture() {
    $IM -size 546x320 "gradient:$2-$3" \
        -fill 'rgba(255,255,255,0.16)' -draw "circle 470,60 470,190" -draw "circle 60,300 60,380" \
        -fill white -font DejaVu-Sans-Bold -pointsize 40 -gravity northwest -annotate +36+96 "$4" \
        -font DejaVu-Sans -pointsize 21 -annotate +38+156 "$5" \
        -fill 'rgba(255,255,255,0.9)' -draw "roundrectangle 36,226 236,272 10,10" \
        -fill "$3" -font DejaVu-Sans-Bold -pointsize 19 -annotate +58+237 "Free download" \
        $png_opts "png24:$here/f/$1.png"
}

picture nimbus-notes 'rgb(40,110,190)' 'rgb(20,60,120)' "Nimbus Notes" "Your notes, on every device"
picture tidewater-vpn 'rgb(0,140,130)' 'rgb(0,80,90)' "Tidewater VPN" "Private browsing in one click"
picture copperleaf-photo 'rgb(200,110,40)' 'rgb(120,50,20)' "Copperleaf Photo" "Edit photos like a pro"
picture brightline-weather 'rgb(240,180,30)' 'rgb(200,90,20)' "Brightline Weather" "Forecasts on your desktop"
