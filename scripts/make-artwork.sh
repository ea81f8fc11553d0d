#!/usr/bin/env bash
# Regenerates every bitmap and the icon the client embeds, into screens/artwork/.
# Output is byte-for-byte reproducible so the committed files only change when
# this script does.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out="$root/screens/artwork"
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc

# The plain "convert" on PATH may be a wrapper; go to ImageMagick directly.
im=
for c in /usr/bin/convert-im6.q16 /usr/bin/convert; do
  if [ -x "$c" ]; then im=$c; break; fi
done
idn=
for c in /usr/bin/identify-im6.q16 /usr/bin/identify; do
  if [ -x "$c" ]; then idn=$c; break; fi
done
[ -n "$im" ] && [ -n "$idn" ] || { echo "make-artwork: ImageMagick not found (scripts/install-deps.sh)" >&2; exit 1; }
[ -r "$font" ] || { echo "make-artwork: missing $font (fonts-wqy-microhei)" >&2; exit 1; }

# One thread keeps antialiasing and gradients from depending on the machine.
export MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"

# Windows loads these with LoadImage; anything but plain 24-bit BI_RGB risks a
# palette or an alpha channel GDI ignores.
bmp() { "$im" "$1" -strip -alpha off -type TrueColor -depth 8 "BMP3:$2"; }

# ---- window background: light grey with a dot every 4 px -------------------
"$im" -size 4x4 xc:'#E8E8E8' -fill '#CCCCCC' -draw 'point 1,1' "$tmp/dot.png"
"$im" -size 1000x400 tile:"$tmp/dot.png" "$tmp/background.png"
bmp "$tmp/background.png" "$out/background.bmp"

# ---- login panel: blue with a faint 45-degree weave ------------------------
# 8x8 tile so the texture repeats seamlessly at any offset the panel is cut at.
"$im" -size 8x8 xc:'#296ABA' \
  -fill '#3172C1' -draw 'point 0,7 point 1,6 point 2,5 point 3,4 point 4,3 point 5,2 point 6,1 point 7,0' \
  -fill '#2564B3' -draw 'point 0,3 point 1,2 point 2,1 point 3,0 point 4,7 point 5,6 point 6,5 point 7,4' \
  "$tmp/weave.png"
"$im" -size 504x259 tile:"$tmp/weave.png" "$tmp/panel.png"
bmp "$tmp/panel.png" "$out/panel.bmp"

# ---- login button: rounded dark plate over the very panel pixels it covers -
# The button has no transparency, so its corners carry the panel texture from
# where the dialog places it (panel offset 212,160).
"$im" "$tmp/panel.png" -crop 118x39+212+160 +repage "$tmp/btn-base.png"
"$im" -size 118x39 gradient:'#5E6166-#34363A' "$tmp/btn-grad.png"
"$im" -size 118x39 xc:black -fill white -draw 'roundrectangle 3,3 114,35 7,7' "$tmp/btn-mask.png"
"$im" "$tmp/btn-base.png" "$tmp/btn-grad.png" "$tmp/btn-mask.png" -composite \
  -fill none -stroke '#A9ADB3' -strokewidth 1 -draw 'roundrectangle 3.5,3.5 113.5,34.5 6.5,6.5' \
  -stroke '#6E7278' -draw 'line 9,5.5 108,5.5' \
  -stroke none -font "$font" -pointsize 17 -gravity center \
  -fill '#1E1F22' -annotate +0+1 '登 录' -fill white -annotate +0+0 '登 录' \
  "$tmp/login-button.png"
bmp "$tmp/login-button.png" "$out/login-button.bmp"

# ---- logo placeholder: swapped for the institution's own at deployment -----
"$im" -size 283x93 xc:'#C0C0BE' \
  -font "$font" -pointsize 60 -gravity center -fill white -stroke white -strokewidth 2 \
  -annotate +0+0 'LOGO' "$tmp/logo.png"
bmp "$tmp/logo.png" "$out/logo.bmp"

# ---- title banner: cut from the background where it sits (28,90) -----------
line1='全国专业技术资格考试'
line2='上机考试考生登录系统'
"$im" "$tmp/background.png" -crop 456x86+28+90 +repage \
  -font "$font" -pointsize 38 -kerning 3 -gravity center \
  -fill white -stroke white -strokewidth 5 \
  -annotate +0-20 "$line1" -annotate +0+21 "$line2" \
  -fill '#1F5FB0' -stroke '#1F5FB0' -strokewidth 1.2 \
  -annotate +0-20 "$line1" -annotate +0+21 "$line2" \
  "$tmp/banner.png"
bmp "$tmp/banner.png" "$out/banner.bmp"

# ---- program icon ---------------------------------------------------------
# 32 and 48 px use the font; at 16 px an antialiased glyph turns to mush, so
# that one is drawn pixel by pixel.
"$im" -size 16x16 xc:none \
  -fill '#2A6CC0' -stroke '#1A4C8E' -strokewidth 1 -draw 'roundrectangle 0,0 15,15 3,3' \
  -stroke none -fill white -draw 'point 7,2 rectangle 4,3 10,3 point 12,3 point 7,4 point 11,4
    rectangle 2,5 13,5 rectangle 8,6 9,6 rectangle 5,7 7,7 rectangle 4,8 11,8 point 5,9
    rectangle 5,10 11,10 point 11,11 point 11,12 rectangle 9,13 10,13' \
  "$tmp/icon-16.png"
for s in 32 48; do
  r=$(( s / 5 )) e=$(( s - 2 ))
  "$im" -size "${s}x${s}" xc:none \
    -fill '#2A6CC0' -stroke '#1A4C8E' -strokewidth 1 -draw "roundrectangle 1,1 $e,$e $r,$r" \
    -stroke none -fill white -font "$font" -pointsize $(( s * 3 / 4 )) -gravity center \
    -annotate +0+0 '考' "$tmp/icon-$s.png"
done
"$im" "$tmp/icon-16.png" "$tmp/icon-32.png" "$tmp/icon-48.png" -strip "ICO:$out/app.ico"

# ---- check what was written ------------------------------------------------
fail=0
want() { # file WxH
  local got
  got=$("$idn" -format '%m %wx%h %z %[channels]\n' "$out/$1" 2>/dev/null | head -n1)
  if [ "$got" != "BMP3 $2 8 srgb" ] && [ "$got" != "BMP3 $2 8 rgb" ]; then
    echo "make-artwork: $1 is '$got', want 'BMP3 $2 8 srgb'" >&2; fail=1
  fi
  # Header: biBitCount (offset 28) must be 24, biCompression (offset 30) 0.
  local bpp comp
  bpp=$(od -An -tu2 -j28 -N2 "$out/$1" | tr -d ' ')
  comp=$(od -An -tu4 -j30 -N4 "$out/$1" | tr -d ' ')
  if [ "$bpp" != 24 ] || [ "$comp" != 0 ]; then
    echo "make-artwork: $1 header says $bpp bpp, compression $comp" >&2; fail=1
  fi
}
want background.bmp 1000x400
want panel.bmp 504x259
want login-button.bmp 118x39
want logo.bmp 283x93
want banner.bmp 456x86
sizes=$("$idn" -format '%wx%h ' "$out/app.ico")
if [ "$sizes" != "16x16 32x32 48x48 " ]; then
  echo "make-artwork: app.ico holds '$sizes', want 16x16 32x32 48x48" >&2; fail=1
fi
[ "$fail" = 0 ] || exit 1
echo "make-artwork: wrote $(ls "$out" | wc -l) files to ${out#"$root"/}"
