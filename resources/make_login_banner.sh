#!/usr/bin/env bash
# Draws the login dialog's banner, a 320 x 60 picture with 256 colours, and
# writes it as login_banner.bmp beside this script. Run by hand when the banner
# should change; the build only embeds the committed file.
# Needs ImageMagick 6 (convert) and the DejaVu fonts.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
font_bold=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
font_plain=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
convert -size 60x320 gradient:'#16365c'-'#2f7f9f' -rotate 270 \
  -fill 'rgba(255,255,255,0.10)' -draw 'circle 292,30 292,-14' \
  -fill 'rgba(255,255,255,0.08)' -draw 'circle 250,64 250,34' \
  -fill '#ffffff' -font "$font_bold" -pointsize 26 -annotate +16+36 'Kavrel' \
  -fill '#cfe3ee' -font "$font_plain" -pointsize 11 -annotate +18+51 'Sign in to the update server' \
  -fill '#8fc0d6' -draw 'rectangle 0,58 319,59' \
  -dither None -colors 256 -type Palette -compress None \
  BMP3:"$here/login_banner.bmp"
