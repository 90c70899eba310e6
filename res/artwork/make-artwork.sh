#!/usr/bin/env bash
# Draws the program's artwork and writes it into res/bitmaps/ and
# res/drenvalisk.ico, where the resource script picks it up. The build uses
# the committed files; run this only to change the pictures:
#
#   bash res/artwork/make-artwork.sh
#
# Needs ImageMagick's convert (Debian: imagemagick), the DejaVu fonts
# (fonts-dejavu-core) and python3 (standard library only). The output is the
# same on every run.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
res=$(dirname "$here")
out=$res/bitmaps
fonts=/usr/share/fonts/truetype/dejavu
bold=$fonts/DejaVuSans-Bold.ttf
regular=$fonts/DejaVuSans.ttf

for tool in convert python3; do
  command -v "$tool" >/dev/null || { echo "make-artwork: $tool is missing (apt-get install imagemagick python3)" >&2; exit 1; }
done
if [ ! -f "$bold" ] || [ ! -f "$regular" ]; then
  echo "make-artwork: DejaVu fonts missing (apt-get install fonts-dejavu-core)" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# The skin's colours; the dialogs paint their own backgrounds and label cells
# in the first three, so buttons drawn on them blend in.
header='rgb(2,77,246)'
body='rgb(207,233,254)'
panel='rgb(255,255,255)'
panel_edge='rgb(168,205,247)'
navy='rgb(18,44,112)'
link='rgb(2,77,246)'
link_focus='rgb(0,44,168)'
amber='rgb(255,186,28)'

encode() { python3 "$here/encode.py" "$@"; }

# convert ARGS... then writes $work/$1.ppm and encodes it as 24-bit res/bitmaps/$1.bmp.
picture24() {
  local name=$1
  shift
  convert "$@" -depth 8 "ppm:$work/$name.ppm"
  encode bmp24 "$work/$name.ppm" "$out/$name.bmp"
}

# Pixel width of a text in a font and size.
text_width() {
  convert -font "$1" -pointsize "$2" "label:$3" -trim -format '%w' info:
}

# The product's emblem: a white-rimmed shield with a check mark, its top-left
# corner at ($1,$2), scaled by $3 (1 = 44 x 52 pixels); sets the array `emblem`.
# Stroke widths scale with the drawing, so the check's is raised at small sizes
# to stay at least 2.4 pixels wide.
emblem_at() {
  local place="translate $1,$2 scale $3,$3"
  emblem=(
    -stroke none -fill white
    -draw "$place path 'M 22,0 L 44,8 L 44,25 C 44,39 35,47 22,52 C 9,47 0,39 0,25 L 0,8 Z'"
    -fill 'rgb(0,44,170)'
    -draw "$place path 'M 22,4.5 L 40,11 L 40,25 C 40,36.5 32.5,43.5 22,47.5 C 11.5,43.5 4,36.5 4,25 L 4,11 Z'"
    -fill none -stroke white -strokewidth "$(python3 -c "print(max(5.5, 2.4 / $3))")"
    -draw "$place stroke-linecap round stroke-linejoin round path 'M 11,26 L 19,34 L 33,16'"
  )
}

# ---- Skin (bitmap 156): 527 x 338, 8 bits per pixel ----------------------
# Bands: header rows 0-63, body, white panel (columns 6-520, rows 110-275) and
# a footer shading from dark to light from row 316. The window lays its
# controls out at 600/349 x 337/209 pixels per dialog unit; the family label
# (columns 53-472, rows 40-58) paints opaque blue cells over the header, so the
# emblem stays left of it and the wordmark above it.
skin() {
  emblem_at 8 6 1
  convert -size 527x338 "xc:$body" \
    -fill "$header" -draw 'rectangle 0,0 526,63' \
    -fill "$panel_edge" -draw 'rectangle 5,109 521,276' \
    -fill "$panel" -draw 'rectangle 6,110 520,275' \
    \( -size 527x22 'gradient:rgb(1,36,140)-rgb(126,178,252)' \) -geometry +0+316 -composite \
    "${emblem[@]}" \
    -stroke none -fill white -font "$bold" -pointsize 29 -annotate +62+37 'Drenvalisk' \
    -depth 8 "ppm:$work/skin.ppm"
  encode bmp8 "$work/skin.ppm" "$out/skin.bmp"
}

# ---- Push buttons: a rounded face with a vertical shade ---------------------
# face NAME W H RADIUS TOP BOTTOM EDGE EDGEWIDTH INK POINTSIZE CAPTION SHIFT GLYPH
# GLYPH names a function that sets the array `glyph` for the ink colour.
face() {
  local name=$1 w=$2 h=$3 r=$4 top=$5 bottom=$6 edge=$7 ew=$8 ink=$9 size=${10} caption=${11} shift=${12}
  local rim
  rim=$(python3 -c "o=$ew/2; print(f'{o},{o} {$w-1-o},{$h-1-o}')")
  glyph=()
  ${13} "$ink"
  picture24 "$name" -size "${w}x${h}" "xc:$body" \
    \( -size "${w}x${h}" "gradient:$top-$bottom" \) \
    \( -size "${w}x${h}" xc:black -fill white -draw "roundrectangle 0,0 $((w - 1)),$((h - 1)) $r,$r" \) \
    -composite \
    -fill none -stroke "$edge" -strokewidth "$ew" -draw "roundrectangle $rim $r,$r" \
    "${glyph[@]}" \
    -stroke none -fill "$ink" -font "$bold" -pointsize "$size" -gravity center -annotate "+$shift+0" "$caption"
}

# The looks of a button: plain, highlighted (lighter, amber rim) and, for
# SCAN and DOWNLOAD, disabled (grey).
button_set() {
  local name=$1 w=$2 h=$3 r=$4 size=$5 shift=$6 symbol=$7 with_disabled=$8
  face "${name}_NOTFOCUS" "$w" "$h" "$r" 'rgb(36,112,250)' 'rgb(2,62,206)' 'rgb(1,45,160)' 1 white "$size" "$name" "$shift" "$symbol"
  face "${name}_FOCUS" "$w" "$h" "$r" 'rgb(88,160,255)' 'rgb(14,100,250)' "$amber" 2.5 white "$size" "$name" "$shift" "$symbol"
  if [ "$with_disabled" = yes ]; then
    face "${name}_DISABLE" "$w" "$h" "$r" 'rgb(224,230,238)' 'rgb(201,210,222)' 'rgb(162,174,190)' 1 \
      'rgb(146,158,176)' "$size" "$name" "$shift" "$symbol"
  fi
}

no_glyph() { :; }
magnifier() {
  glyph=(-fill none -stroke "$1" -strokewidth 3 -draw 'circle 24,14 24,21'
         -strokewidth 4 -draw "stroke-linecap round path 'M 29.5,19.5 L 35,25'")
}
down_arrow() {
  glyph=(-fill "$1" -stroke none -draw 'polygon 20,5 28,5 28,13 34,13 24,23 14,13 20,13'
         -fill none -stroke "$1" -strokewidth 2.5
         -draw "stroke-linecap round stroke-linejoin round path 'M 13,22 L 13,27 L 35,27 L 35,22'")
}

buttons() {
  button_set SCAN 180 33 9 15 12 magnifier yes
  button_set DOWNLOAD 180 33 9 15 12 down_arrow yes
  local caption
  for caption in OK CANCEL YES NO; do
    button_set "$caption" 92 24 7 12 0 no_glyph no
  done
}

# ---- The X button, on the header band ------------------------------------
close_button() {
  local name=$1 fill=$2 rim=$3
  picture24 "$name" -size 21x21 "xc:$header" \
    -fill "$fill" -stroke "$rim" -strokewidth 1 -draw 'roundrectangle 0.5,0.5 19.5,19.5 4,4' \
    -fill none -stroke white -strokewidth 2.4 \
    -draw "stroke-linecap round path 'M 6.5,6.5 L 13.5,13.5 M 13.5,6.5 L 6.5,13.5'"
}

# ---- Links: a round badge and a title (and a note under it); on focus a
# tinted plate behind them and an underlined title.
# link NAME W H BACKGROUND PLATE INK BADGE TITLE-SIZE TITLE [NOTE]
link() {
  local name=$1 w=$2 h=$3 background=$4 plate=$5 ink=$6 symbol=$7 size=$8 title=$9 note=${10:-}
  local r cy=$((h / 2)) baseline
  if [ -n "$note" ]; then
    r=16 baseline=$((cy - 2))
  else
    r=$(((h - 10) / 2)) baseline=$((cy + size * 2 / 5))
  fi
  local cx=$((r + 5)) tx=$((2 * r + 14)) width right
  width=$(text_width "$bold" "$size" "$title")
  right=$((tx + width + 10))
  [ -n "$note" ] && right=$((w - 2))
  local decoration=() notes=()
  if [ "$plate" != none ]; then
    decoration=(-fill "$plate" -stroke "$panel_edge" -strokewidth 1
                -draw "roundrectangle 0.5,0.5 $right.5,$((h - 2)).5 7,7")
  fi
  [ -n "$note" ] && notes=(-stroke none -fill 'rgb(84,100,128)' -font "$regular" -pointsize 11 -annotate "+$tx+$((h - 8))" "$note")
  glyph=()
  "$symbol" "$cx" "$cy" "$r"
  local underline=()
  [ "$plate" != none ] &&
    underline=(-stroke "$ink" -strokewidth 1.5 -draw "line $tx,$((baseline + 3)).5 $((tx + width)),$((baseline + 3)).5")
  picture24 "$name" -size "${w}x${h}" "xc:$background" "${decoration[@]}" \
    -stroke none -fill "$ink" -draw "circle $cx,$cy $cx,$((cy - r))" "${glyph[@]}" \
    -stroke none -fill "$ink" -font "$bold" -pointsize "$size" -annotate "+$tx+$baseline" "$title" \
    "${underline[@]}" "${notes[@]}"
}
badge_arrow() {
  local x=$1 y=$2 r=$3
  glyph=(-fill white -stroke none -draw "translate $x,$y scale $(python3 -c "print($r/16)"),$(python3 -c "print($r/16)") polygon -4,-10 4,-10 4,-1 9,-1 0,9 -9,-1 -4,-1")
}
badge_chevron() {
  local x=$1 y=$2 r=$3
  glyph=(-fill none -stroke white -strokewidth 2.2
         -draw "translate $x,$y stroke-linecap round stroke-linejoin round path 'M -2.5,-4.5 L 2,0 L -2.5,4.5'")
}

links() {
  link DLINK_NOTFOCUS 350 43 "$panel" none "$link" badge_arrow 15 'Download Sentravo antivirus' \
    'Full protection against W32/Tarvolinex and more'
  link DLINK_FOCUS 350 43 "$panel" 'rgb(232,243,255)' "$link_focus" badge_arrow 15 'Download Sentravo antivirus' \
    'Full protection against W32/Tarvolinex and more'
  link ULINK_NOTFOCUS 350 28 "$body" none "$link" badge_chevron 13 'More free removal tools'
  link ULINK_FOCUS 350 28 "$body" 'rgb(244,249,255)' "$link_focus" badge_chevron 13 'More free removal tools'
}

# ---- The maker's logo: a round V mark and the name ------------------------
logo() {
  local name=$1 ink=$2 underline=()
  [ "$3" = underlined ] && underline=(-stroke "$ink" -strokewidth 1.5 -draw 'line 31,27.5 96,27.5')
  picture24 "$name" -size 100x36 "xc:$body" \
    -stroke none -fill "$ink" -draw 'circle 15,18 15,5' \
    -fill none -stroke white -strokewidth 2.8 \
    -draw "stroke-linecap round stroke-linejoin round path 'M 9.5,12.5 L 15,24 L 20.5,12.5'" \
    -stroke none -fill "$ink" -font "$bold" -pointsize 13 -annotate +31+23 'Vexmoor' \
    "${underline[@]}"
}

# ---- Message icons (bitmaps 152 to 155): 42 x 40 on the dialog's colour ----
# The picture control that shows them is about 37 x 39 pixels with the usual
# dialog font and shows the bitmap's top-left part, so each symbol keeps to
# that part.
message_icon() {
  local name=$1
  shift
  picture24 "$name" -size 42x40 "xc:$body" "$@"
}
bubble() {
  local fill=$1 edge=$2 mark=$3
  message_icon "$4" -fill "$fill" -stroke "$edge" -strokewidth 1 \
    -draw "stroke-linejoin round path 'M 8.5,1.5 L 28.5,1.5 Q 35.5,1.5 35.5,8.5 L 35.5,20.5 Q 35.5,27.5 28.5,27.5 L 17.5,27.5 L 6.5,36.5 L 9.5,27.5 L 8.5,27.5 Q 1.5,27.5 1.5,20.5 L 1.5,8.5 Q 1.5,1.5 8.5,1.5 Z'" \
    -stroke none -fill white -font "$bold" -pointsize 20 -gravity center -annotate -3-6 "$mark"
}
message_icons() {
  bubble "$header" 'rgb(1,45,160)' i icon_information
  bubble 'rgb(0,148,112)' 'rgb(0,96,72)' '?' icon_question
  message_icon icon_warning -fill 'rgb(255,204,0)' -stroke 'rgb(196,138,0)' -strokewidth 2 \
    -draw "stroke-linejoin round path 'M 18.5,2.5 L 35,35 L 2,35 Z'" \
    -stroke none -fill 'rgb(44,32,0)' -font "$bold" -pointsize 19 -gravity center -annotate -3+3 '!'
  message_icon icon_error -fill 'rgb(222,40,40)' -stroke 'rgb(160,20,20)' -strokewidth 1 \
    -draw 'circle 18.5,19 18.5,2.5' -stroke white -strokewidth 4 \
    -draw "stroke-linecap round path 'M 12.5,13 L 24.5,25 M 24.5,13 L 12.5,25'"
}

# ---- Application icon (group 128): the emblem at 16 and 32 pixels ----------
app_icon() {
  local size scale x
  for size in 16 32; do
    scale=$(python3 -c "print($size/52)")
    x=$(python3 -c "print(($size-44*$size/52)/2)")
    emblem_at "$x" 0 "$scale"
    convert -size "${size}x${size}" "xc:$header" "${emblem[@]}" -depth 8 "ppm:$work/icon$size.ppm"
    convert -size "${size}x${size}" xc:black -fill white -stroke none \
      -draw "translate $x,0 scale $scale,$scale path 'M 22,0 L 44,8 L 44,25 C 44,39 35,47 22,52 C 9,47 0,39 0,25 L 0,8 Z'" \
      -depth 8 "pgm:$work/mask$size.pgm"
  done
  encode ico "$res/drenvalisk.ico" "$work/icon16.ppm" "$work/mask16.pgm" "$work/icon32.ppm" "$work/mask32.pgm"
}

skin
buttons
close_button X_NOTFOCUS 'rgb(1,56,196)' 'rgb(96,146,255)'
close_button X_FOCUS 'rgb(226,54,44)' 'rgb(255,186,28)'
links
logo VEXMOORLOGO_NOTFOCUS "$navy" plain
logo VEXMOORLOGO_FOCUS "$link" underlined
message_icons
app_icon
