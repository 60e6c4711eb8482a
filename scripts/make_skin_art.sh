#!/usr/bin/env bash
# Draws the shipped skin's artwork into res/skin/ and composes the preview
# docs/skin_preview.png at the window's layout positions. Needs ImageMagick
# (convert) and the WenQuanYi Micro Hei font (both installed by
# scripts/setup). Deterministic: the same tools give the same pixels, so a
# rerun only changes what the script changes.
#
#   scripts/make_skin_art.sh [OUT_DIR]     (default: res/skin)
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$top/res/skin}
mkdir -p "$out" "$top/docs"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

CJK=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
SERIF=/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf
[ -f "$CJK" ] || { echo "missing font $CJK" >&2; exit 1; }
[ -f "$SERIF" ] || SERIF=$CJK

# Written PNGs carry no time stamps or text chunks, so reruns are byte-stable.
save() { convert "$1" -strip -define png:exclude-chunks=date,time "PNG32:$2"; }

# Palette: night-blue steel, old gold, ember.
GOLD_HI='#f6dc9a'; GOLD='#d4a548'; GOLD_LO='#7a5a22'; GOLD_DK='#3d2c10'
NIGHT_0='#05070b'; NIGHT_1='#0b0f16'; NIGHT_2='#141b26'; NIGHT_3='#1f2836'; STEEL='#2c3748'

# mask W H DRAW...: white shape on black.
mask() { local w=$1 h=$2 f=$3; shift 3; convert -size "${w}x${h}" xc:black -fill white -draw "$*" "$f"; }
# fill_mask GRADIENT_IMG MASK OUT: gradient clipped to the mask.
fill_mask() { convert "$1" "$2" -alpha off -compose CopyOpacity -composite "$3"; }
# shape MASK COLOUR OUT: the mask's white part in COLOUR, the rest transparent.
shape() { convert "$1" -alpha copy -fill "$2" -colorize 100 "$3"; }
# clip IMG MASK OUT: keeps IMG (with its own alpha) only where the mask is white.
clip() { convert "$1" \( "$2" -alpha copy \) -compose DstIn -composite "$3"; }
# fade W H COLOUR A_TOP A_BOTTOM MASK OUT: a flat colour whose opacity runs
# from A_TOP to A_BOTTOM, clipped to the mask.
fade() {
  local w=$1 h=$2 colour=$3 a0=$4 a1=$5 m=$6 o=$7
  local g0 g1
  g0=$(awk -v a="$a0" 'BEGIN { printf "%d", a * 100 }')
  g1=$(awk -v a="$a1" 'BEGIN { printf "%d", a * 100 }')
  convert -size "${w}x${h}" gradient:"gray${g0}"-"gray${g1}" "$m" -compose Multiply -composite "$work/fade_a.png"
  convert -size "${w}x${h}" xc:"$colour" "$work/fade_a.png" -alpha off -compose CopyOpacity -composite "$o"
}
# over BASE LAYER OUT [geometry]
over() { convert "$1" "$2" -geometry "${4:-+0+0}" -compose Over -composite "$3"; }

# ---------------------------------------------------------------------------
# State buttons 151x59: a faceted plate with a gloss, a bright rim and the
# label; hot glows, pressed sinks.
state_button() { # name label top bottom rim glow
  local name=$1 label=$2 c_top=$3 c_bot=$4 rim=$5 glow=$6
  local W=151 H=59
  mask $W $H "$work/bm.png" "roundrectangle 6,6 144,52 9,9"
  mask $W $H "$work/bm_in.png" "roundrectangle 8,8 142,50 7,7"
  mask $W $H "$work/bm_gloss.png" "roundrectangle 8,8 142,29 7,7"
  for state in 1 2 3; do
    local t=$c_top b=$c_bot bright=100 dy=0 gloss=0.28
    case $state in
      2) bright=122; gloss=0.36 ;;
      3) bright=78; dy=1; gloss=0.10 ;;
    esac
    convert -size ${W}x${H} gradient:"$t"-"$b" -modulate $bright "$work/g.png"
    fill_mask "$work/g.png" "$work/bm_in.png" "$work/body.png"
    # rim: the plate's outline in the rim colour, 2px
    convert -size ${W}x${H} xc:none -fill none -stroke "$rim" -strokewidth 2 \
      -draw "roundrectangle 6,6 144,52 9,9" "$work/rim.png"
    convert -size ${W}x${H} xc:none -fill none -stroke 'rgba(0,0,0,0.85)' -strokewidth 1 \
      -draw "roundrectangle 5,5 145,53 10,10" "$work/outline.png"
    # gloss on the upper half
    fade "$W" "$H" white "$gloss" 0.0 "$work/bm_gloss.png" "$work/gloss.png"
    # soft drop shadow / glow outside the plate
    if [ $state = 2 ]; then
      shape "$work/bm.png" "$glow" "$work/halo0.png"
      convert "$work/halo0.png" -channel A -blur 0x4 -evaluate multiply 1.2 +channel "$work/halo.png"
    else
      shape "$work/bm.png" black "$work/halo0.png"
      convert "$work/halo0.png" -channel A -blur 0x2.5 -evaluate multiply 0.75 +channel "$work/halo1.png"
      convert -size ${W}x${H} xc:none "$work/halo1.png" -geometry +0+2 -compose Over -composite "$work/halo.png"
    fi
    convert "$work/halo.png" "$work/body.png" -compose Over -composite \
      "$work/gloss.png" -compose Over -composite \
      "$work/rim.png" -compose Over -composite \
      "$work/outline.png" -compose Over -composite "$work/plate.png"
    # label: dark engraving under a light face
    convert "$work/plate.png" -font "$CJK" -pointsize 21 -gravity center \
      -fill 'rgba(0,0,0,0.65)' -annotate +1+$((1 + dy)) "$label" \
      -fill '#fffaf0' -stroke '#fffaf0' -strokewidth 0.4 -annotate +0+$dy "$label" "$work/btn.png"
    save "$work/btn.png" "$out/${name}_${state}.png"
  done
}

state_button btn_download_begin "开始下载" '#f7b733' '#c2561a' '#ffd98a' 'rgba(255,170,60,0.9)'
state_button btn_resume         "继续下载" '#f7b733' '#c2561a' '#ffd98a' 'rgba(255,170,60,0.9)'
state_button btn_pause          "暂停下载" '#5f86c4' '#233d6e' '#a9c4f0' 'rgba(110,160,255,0.9)'
state_button btn_retry          "重试"     '#e0573f' '#7d1a17' '#ffab97' 'rgba(255,90,60,0.9)'
state_button btn_install        "开始安装" '#4cc26a' '#176a34' '#a8f0b8' 'rgba(80,230,120,0.9)'

# ---------------------------------------------------------------------------
# Top link buttons 140x38: parallelogram tabs slanted by 19px, so the three
# (placed 121px apart) interlock edge to edge.
link_tab() { # index label
  local i=$1 label=$2 W=140 H=38
  mask $W $H "$work/tm.png" "polygon 19,0 139,0 120,37 0,37"
  for state in 1 2 3; do
    local t='#2a2316' b='#120e08' ink='#e9c979' dy=0
    case $state in
      2) t='#6a5024'; b='#2a1d0c'; ink='#ffffff' ;;
      3) t='#120e08'; b='#22190c'; ink='#c9a75c'; dy=1 ;;
    esac
    convert -size ${W}x${H} gradient:"$t"-"$b" "$work/tg.png"
    fill_mask "$work/tg.png" "$work/tm.png" "$work/tab.png"
    convert "$work/tab.png" -fill none -stroke "$GOLD_LO" -strokewidth 1 \
      -draw "polygon 19.5,0.5 138.5,0.5 119.5,36.5 0.5,36.5" \
      -stroke 'rgba(246,220,154,0.55)' -draw "line 20,1.5 137,1.5" \
      "$work/tab.png"
    if [ $state = 2 ]; then
      convert -size ${W}x${H} xc:none -fill 'rgba(255,190,90,0.35)' -draw "ellipse 70,38 50,14 180,360" \
        -blur 0x5 "$work/tglow.png"
      clip "$work/tglow.png" "$work/tm.png" "$work/tglow2.png"
      convert "$work/tab.png" "$work/tglow2.png" -compose Over -composite "$work/tab.png"
    fi
    convert "$work/tab.png" -font "$CJK" -pointsize 16 -gravity center \
      -fill 'rgba(0,0,0,0.8)' -annotate +1+$((1 + dy)) "$label" \
      -fill "$ink" -annotate +0+$dy "$label" "$work/tab.png"
    save "$work/tab.png" "$out/top_link_btn${i}_${state}.png"
  done
}
link_tab 1 "官方网站"
link_tab 2 "新手指南"
link_tab 3 "玩家论坛"

# ---------------------------------------------------------------------------
# Close and minimise 24x24.
sys_button() { # name glyph-draw hotcolor
  local name=$1 glyph=$2 hot=$3
  for state in 1 2 3; do
    local bg='rgba(255,255,255,0.06)' ink="$GOLD" dy=0 ring="rgba(212,165,72,0.45)"
    case $state in
      2) bg="$hot"; ink='#ffffff'; ring='rgba(255,255,255,0.6)' ;;
      3) bg='rgba(0,0,0,0.45)'; ink="$GOLD_LO"; dy=1; ring='rgba(212,165,72,0.3)' ;;
    esac
    convert -size 24x24 xc:none -fill "$bg" -stroke "$ring" -strokewidth 1 \
      -draw "roundrectangle 1.5,1.5 22.5,22.5 5,5" \
      -stroke "$ink" -strokewidth 2 -fill none -draw "translate 0,$dy $glyph" "$work/sb.png"
    save "$work/sb.png" "$out/${name}${state}.png"
  done
}
sys_button wclose "line 8,8 16,16 line 16,8 8,16" 'rgba(200,50,40,0.95)'
sys_button wmin "line 7,15 17,15" 'rgba(90,110,140,0.9)'

# ---------------------------------------------------------------------------
# Folder button 20x16: a small gilt folder.
for state in 1 2 3; do
  f='#d4a548' t='#f6dc9a' dy=0
  case $state in
    2) f='#f0c060'; t='#fff3cc' ;;
    3) f='#9c7630'; t='#c9a75c'; dy=1 ;;
  esac
  convert -size 20x16 xc:none -stroke '#3d2c10' -strokewidth 1 \
    -fill "$f" -draw "translate 0,$dy path 'M 1.5,3.5 L 7.5,3.5 L 9.5,5.5 L 18.5,5.5 L 18.5,14.5 L 1.5,14.5 Z'" \
    -fill "$t" -draw "translate 0,$dy path 'M 1.5,7.5 L 18.5,7.5 L 18.5,14.5 L 1.5,14.5 Z'" \
    "$work/fb.png"
  save "$work/fb.png" "$out/btn_folder_${state}.png"
done

# ---------------------------------------------------------------------------
# Progress bar 328x25: a sunken groove, and a molten fill with a bright core.
mask 328 25 "$work/pm.png" "roundrectangle 1,3 326,21 9,9"
mask 328 25 "$work/pm_in.png" "roundrectangle 3,5 324,19 7,7"
convert -size 328x25 gradient:'#020305'-'#1a2230' "$work/pg.png"
fill_mask "$work/pg.png" "$work/pm.png" "$work/pbg.png"
convert "$work/pbg.png" -fill none -stroke 'rgba(0,0,0,0.9)' -strokewidth 1 -draw "roundrectangle 1.5,3.5 325.5,20.5 9,9" \
  -stroke 'rgba(212,165,72,0.35)' -draw "line 10,21.5 318,21.5" "$work/pbg.png"
save "$work/pbg.png" "$out/progress_bg.png"
convert -size 328x25 gradient:'#ffe39a'-'#e0620f' "$work/pf.png"
convert "$work/pf.png" \( -size 328x25 xc:none -fill 'rgba(255,255,255,0.45)' -draw "roundrectangle 6,6 322,10 3,3" -blur 0x1 \) \
  -compose Over -composite "$work/pf.png"
# fine diagonal sheen so the fill reads as moving metal
convert -size 328x25 xc:none -stroke 'rgba(255,255,255,0.10)' -strokewidth 4 \
  $(for x in $(seq -20 16 340); do printf -- "-draw line_%d,25_%d,0 " $x $((x + 12)); done | sed 's/_/ /g') \
  "$work/sheen.png" 2>/dev/null || convert -size 328x25 xc:none "$work/sheen.png"
convert "$work/pf.png" "$work/sheen.png" -compose Over -composite "$work/pf.png"
fill_mask "$work/pf.png" "$work/pm_in.png" "$work/pfront.png"
save "$work/pfront.png" "$out/progress_front.png"

# ---------------------------------------------------------------------------
# Folder field 40x24, stretched by its nine-grid (margins 10).
convert -size 40x24 xc:none -fill '#070a0f' -stroke '#3a4658' -strokewidth 1 \
  -draw "roundrectangle 0.5,0.5 39.5,23.5 5,5" \
  -stroke 'rgba(0,0,0,0.8)' -draw "line 4,1.5 35,1.5" "$work/pe.png"
save "$work/pe.png" "$out/path_edit_bg.png"

# ---------------------------------------------------------------------------
# Menu background 32x32 with its shadow in the nine-grid margins
# (left 6, top 4, right 8, bottom 6).
convert -size 32x32 xc:none -fill 'rgba(0,0,0,0.75)' -draw "roundrectangle 5,4 27,28 3,3" -blur 0x2 \
  -fill '#141b26' -stroke '#4a3a1c' -strokewidth 1 -draw "rectangle 6.5,4.5 23.5,25.5" "$work/sh.png"
save "$work/sh.png" "$out/shadow.png"

# ---------------------------------------------------------------------------
# Tray icon 32x32: a gold K on a night shield.
convert -size 32x32 xc:none -fill '#141b26' -stroke "$GOLD" -strokewidth 2 \
  -draw "path 'M 16,2 L 28,6 L 27,18 Q 24,26 16,30 Q 8,26 5,18 L 4,6 Z'" \
  -font "$SERIF" -pointsize 17 -gravity center -stroke none -fill "$GOLD_HI" -annotate +0+0 "K" "$work/tray.png"
save "$work/tray.png" "$out/tray.png"

# ---------------------------------------------------------------------------
# Loading strip 1248x104: twelve frames of a turning rune ring.
for f in $(seq 0 11); do
  args=()
  for d in $(seq 0 11); do
    age=$(( (f - d + 12) % 12 ))
    alpha=$(awk -v a=$age 'BEGIN { printf "%.2f", (a < 6 ? 1 - a * 0.15 : 0.12) }')
    x=$(awk -v d=$d 'BEGIN { printf "%.1f", 52 + 34 * sin(d * 3.14159265 / 6) }')
    y=$(awk -v d=$d 'BEGIN { printf "%.1f", 52 - 34 * cos(d * 3.14159265 / 6) }')
    x2=$(awk -v x=$x 'BEGIN { printf "%.1f", x + 5 }')
    args+=(-fill "rgba(246,200,110,$alpha)" -draw "circle $x,$y $x2,$y")
  done
  convert -size 104x104 xc:none -fill none -stroke 'rgba(212,165,72,0.25)' -strokewidth 2 \
    -draw "circle 52,52 52,18" -stroke none "${args[@]}" "$work/ld_$f.png"
done
convert $(for f in $(seq 0 11); do echo "$work/ld_$f.png"; done) +append "$work/loading.png"
save "$work/loading.png" "$out/loading.png"
# The line under the spinner.
convert -background none -font "$CJK" -pointsize 13 -fill "$GOLD" label:"游戏资讯加载中，请稍候…" \
  "$work/ld_txt.png"
save "$work/ld_txt.png" "$out/loading_web_txt.png"

# ---------------------------------------------------------------------------
# Partner logos along the bottom edge (28 high) and the small gift badge.
convert -size 112x28 xc:none \
  -fill "$GOLD" -draw "polygon 2,14 12,3 22,14 12,25" -fill "$NIGHT_1" -draw "polygon 8,14 12,9 16,14 12,19" \
  -font "$SERIF" -pointsize 14 -fill '#e8e2d4' -annotate +28+19 "LM" \
  -font "$CJK" -pointsize 12 -fill "$GOLD" -annotate +56+19 "联盟游戏" "$work/lm.png"
save "$work/lm.png" "$out/logo_lm.png"
convert -size 104x28 xc:none \
  -fill none -stroke '#8fb3e8' -strokewidth 2 -draw "arc 3,4 23,24 200,520" -stroke none \
  -fill '#8fb3e8' -draw "circle 13,14 13,10" \
  -font "$SERIF" -pointsize 14 -fill '#e8e2d4' -annotate +28+19 "BRISCA" "$work/br.png"
save "$work/br.png" "$out/logo_brisca.png"
convert -size 96x28 xc:none \
  -fill '#e0573f' -draw "roundrectangle 2,4 24,20 6,6" -draw "polygon 7,19 6,26 13,20" \
  -fill white -draw "circle 8,12 9.5,12" -draw "circle 13,12 14.5,12" -draw "circle 18,12 19.5,12" \
  -font "$CJK" -pointsize 13 -fill '#e8e2d4' -annotate +30+18 "关注微博" "$work/sn.png"
save "$work/sn.png" "$out/logo_sina.png"
convert -size 40x22 xc:none -fill '#c2561a' -stroke '#ffd98a' -strokewidth 1 \
  -draw "roundrectangle 0.5,2.5 39.5,20.5 5,5" \
  -stroke none -fill 'rgba(255,255,255,0.25)' -draw "roundrectangle 2,4 38,10 3,3" \
  -font "$SERIF" -pointsize 11 -fill '#fff3cc' -gravity center -annotate +0+1 "VIP" "$work/ad.png"
save "$work/ad.png" "$out/logo_ad.png"

# ---------------------------------------------------------------------------
# Main window background 685x494: a dark keep under an ember sky, with
# per-pixel alpha at the rounded edges and a soft shadow inside the margin.
W=685 H=494
BODY="roundrectangle 6,22 678,486 12,12"
mask $W $H "$work/body_m.png" "$BODY"
shape "$work/body_m.png" black "$work/shadow0.png"
convert "$work/shadow0.png" -channel A -blur 0x4 -evaluate multiply 0.85 +channel "$work/shadow_l.png"
convert -size ${W}x${H} gradient:"$NIGHT_2"-"$NIGHT_0" "$work/body_g.png"
# a faint stone grain so the large dark areas do not look flat (fixed seed:
# the same grain on every run)
convert -seed 7 -size ${W}x${H} xc:gray50 +noise Gaussian -colorspace gray -blur 0x0.6 \
  -level 40%,60% "$work/grain.png"
convert "$work/body_g.png" "$work/grain.png" -compose Overlay -composite "$work/body_g3.png"
convert "$work/body_g3.png" "$work/body_g.png" -compose Blend -define compose:args=25 -composite "$work/body_g.png"
# header sky: night blue above, an ember dusk behind the keep on the right
convert -size ${W}x130 gradient:'#0a0f1c'-'#2a1712' "$work/sky.png"
convert -size ${W}x130 xc:none -fill 'rgba(255,110,30,0.75)' -draw "ellipse 520,100 190,55 0,360" \
  -fill 'rgba(255,190,90,0.6)' -draw "ellipse 520,96 70,22 0,360" -blur 0x24 "$work/ember0.png"
convert "$work/sky.png" "$work/ember0.png" -compose Over -composite "$work/ember.png"
convert -size ${W}x130 xc:none \
  -fill '#0a0d13' -draw "polygon 0,130 0,92 60,70 120,88 190,52 250,80 300,62 360,96 420,58 470,74 520,40 560,66 610,48 685,84 685,130" \
  -fill '#06080c' -draw "polygon 0,130 0,108 80,96 150,110 230,90 320,112 400,94 470,108 540,92 610,104 685,98 685,130" \
  -fill '#06080c' -draw "polygon 512,44 516,20 520,44" -draw "rectangle 508,44 524,70" -draw "polygon 530,56 533,38 536,56" -draw "rectangle 527,56 539,72" \
  "$work/mountains.png"
convert -size ${W}x130 xc:none "$work/ember.png" -compose Over -composite "$work/mountains.png" -compose Over -composite "$work/header_full.png"
# the foot of the hills melts into the body instead of ending in a step
convert -size ${W}x80 xc:white \( -size ${W}x50 gradient:white-black \) -append "$work/header_m.png"
clip "$work/header_full.png" "$work/header_m.png" "$work/header.png"
convert "$work/body_g.png" "$work/header.png" -geometry +0+18 -compose Over -composite "$work/body_g2.png"
# stars
convert "$work/body_g2.png" -fill 'rgba(255,255,255,0.55)' \
  -draw "point 140,36 point 233,48 point 287,31 point 356,42 point 402,33 point 452,51 point 590,34 point 618,58 point 96,52 point 331,60" \
  "$work/body_g2.png"
fill_mask "$work/body_g2.png" "$work/body_m.png" "$work/body.png"
# title: gilded serif with an ember halo
convert -size 240x80 xc:none -font "$SERIF" -pointsize 34 -fill "rgba(255,140,40,0.8)" -annotate +12+50 "KORVAN" -blur 0x6 "$work/title_glow.png"
convert -size 240x80 xc:none -font "$SERIF" -pointsize 34 -fill white -annotate +12+50 "KORVAN" "$work/title_m.png"
convert -size 240x80 gradient:"$GOLD_HI"-"$GOLD_LO" "$work/title_g.png"
convert "$work/title_g.png" "$work/title_m.png" -compose CopyOpacity -composite "$work/title_f.png"
convert -size 240x80 xc:none -font "$SERIF" -pointsize 34 -fill 'rgba(0,0,0,0.9)' -annotate +14+52 "KORVAN" "$work/title_s.png"
convert "$work/title_glow.png" "$work/title_s.png" -compose Over -composite "$work/title_f.png" -compose Over -composite \
  -font "$CJK" -pointsize 12 -fill 'rgba(246,220,154,0.85)' -annotate +16+70 "官 方 游 戏 下 载 器" "$work/title.png"
convert "$work/body.png" "$work/title.png" -geometry +14+24 -compose Over -composite "$work/body.png"
# frame lines: outer dark, inner gold hairline
convert "$work/body.png" -fill none \
  -stroke 'rgba(0,0,0,0.9)' -strokewidth 1 -draw "roundrectangle 6.5,22.5 677.5,485.5 12,12" \
  -stroke 'rgba(212,165,72,0.55)' -draw "roundrectangle 7.5,23.5 676.5,484.5 11,11" \
  "$work/body.png"
# page frame around the embedded web page (57,112 580x206)
convert "$work/body.png" -fill "$NIGHT_0" -stroke "$GOLD_LO" -strokewidth 1 -draw "rectangle 55.5,110.5 637.5,318.5" \
  -stroke 'rgba(0,0,0,0.9)' -draw "rectangle 56.5,111.5 636.5,317.5" \
  -fill "$GOLD" -stroke none -draw "polygon 346,106 350,110 346,114 342,110" \
  "$work/body.png"
# download plate behind the progress panel (37,328 618x100)
convert "$work/body.png" -fill 'rgba(255,255,255,0.035)' -stroke 'rgba(212,165,72,0.35)' -strokewidth 1 \
  -draw "roundrectangle 37.5,328.5 654.5,427.5 6,6" \
  -stroke 'rgba(255,255,255,0.06)' -draw "line 44,329.5 648,329.5" \
  -stroke 'rgba(212,165,72,0.2)' -draw "line 56,398.5 470,398.5" \
  "$work/body.png"
# footer band with the partner logos, and a gilt rule above it
convert "$work/body.png" -fill 'rgba(0,0,0,0.35)' -stroke none -draw "rectangle 8,436 676,484" \
  -stroke 'rgba(212,165,72,0.45)' -draw "line 60,436.5 624,436.5" \
  -fill "$GOLD" -stroke none -draw "polygon 342,436 346,432 350,436 346,440" \
  "$work/body.png"
# gilt corner brackets: an L of two strokes with a diamond at the joint
corners=()
for c in "16 32 1 1" "668 32 -1 1" "16 476 1 -1" "668 476 -1 -1"; do
  read -r cx cy sx sy <<<"$c"
  corners+=(-stroke "$GOLD" -strokewidth 1.5 -fill none
            -draw "line $cx,$cy $((cx + sx * 26)),$cy" -draw "line $cx,$cy $cx,$((cy + sy * 26))"
            -stroke none -fill "$GOLD_HI"
            -draw "polygon $((cx - 3)),$cy $cx,$((cy - 3)) $((cx + 3)),$cy $cx,$((cy + 3))")
done
convert "$work/body.png" "${corners[@]}" "$work/body.png"
# a soft dark halo inside the page frame so the page sits in a recess
convert -size ${W}x${H} xc:none -fill none -stroke 'rgba(0,0,0,0.8)' -strokewidth 6 \
  -draw "rectangle 54,109 639,320" -blur 0x3 "$work/recess.png"
convert "$work/body.png" "$work/recess.png" -compose Over -composite "$work/body.png"
convert "$work/shadow_l.png" "$work/body.png" -compose Over -composite "$work/mainbg.png"
save "$work/mainbg.png" "$out/mainbg.png"

# ---------------------------------------------------------------------------
# The preview: everything at its place in the window, in the state where the
# download runs, over a desk-top grey so the alpha edges show.
P="$work/preview.png"
convert -size 745x554 gradient:'#3b4250'-'#23272f' "$P"
over "$P" "$out/mainbg.png" "$P" +30+30
place() { over "$P" "$1" "$P" "+$((30 + $2))+$((30 + $3))"; }
# top panel (205,50): three tabs 121 apart, the second one hot
place "$out/top_link_btn1_1.png" 205 50
place "$out/top_link_btn2_2.png" 326 50
place "$out/top_link_btn3_1.png" 447 50
# system box: 76 wide at the right, close at 18+24 from the right, minimise at 44+24
place "$out/wmin1.png" $((685 - 44 - 24)) 47
place "$out/wclose1.png" $((685 - 18 - 24)) 47
# the web page area
convert "$P" -fill '#0c1118' -draw "rectangle $((30 + 57)),$((30 + 112)) $((30 + 636)),$((30 + 317))" "$P"
convert "$out/loading.png" -crop 104x104+312+0 +repage "$work/frame.png"
place "$work/frame.png" $((57 + 238)) $((112 + 38))
convert "$P" -font "$CJK" -pointsize 12 -fill '#8a93a3' -annotate +$((30 + 317))+$((30 + 112 + 168)) "正在加载..." "$P"
# progress panel at (37,328)
px=37 py=328
convert "$out/path_edit_bg.png" -define distort:viewport=220x24 -virtual-pixel edge \
  \( +clone \) -delete 1 "$work/pe_src.png"
# nine-grid stretch of the folder field to 220 wide (margins 10)
convert "$out/path_edit_bg.png" -crop 10x24+0+0 +repage "$work/pe_l.png"
convert "$out/path_edit_bg.png" -crop 20x24+10+0 +repage -resize 200x24\! "$work/pe_c.png"
convert "$out/path_edit_bg.png" -crop 10x24+30+0 +repage "$work/pe_r.png"
convert "$work/pe_l.png" "$work/pe_c.png" "$work/pe_r.png" +append "$work/pe_220.png"
place "$work/pe_220.png" $((px + 83)) $((py + 8))
place "$out/btn_folder_1.png" $((px + 275)) $((py + 14))
place "$out/progress_bg.png" $((px + 76)) $((py + 42))
convert "$out/progress_front.png" -crop 123x25+0+0 +repage "$work/pf_part.png"
place "$work/pf_part.png" $((px + 76)) $((py + 42))
place "$out/btn_pause_1.png" $((px + 618 - 16 - 151)) $((py + 5))
place "$out/logo_ad.png" $((px + 618 - 12 - 40)) $((py + 100 - 5 - 22))
text() { # x y colour text  (12px standard font, top-left at x,y)
  convert "$P" -font "$CJK" -pointsize 12 -fill "$3" -gravity northwest -annotate "+$((30 + $1))+$((30 + $2))" "$4" "$P"
}
text $((px + 19)) $((py + 14)) '#ffffff' "保存路径："
text $((px + 93)) $((py + 15)) '#717171' 'D:\\korvan'
text $((px + 19)) $((py + 46)) '#ffffff' "下载进度："
text $((px + 401)) $((py + 46)) '#ffffff' "37.5%"
text $((px + 308)) $((py + 6)) '#ffffff' "1.2MB/S"
text $((px + 308)) $((py + 23)) '#ffffff' "412.8MB/1.1GB"
text $((px + 19)) $((py + 75)) '#22b21a' "正在为您下载游戏，下载需要花费一定时间，请耐心等待..."
convert "$P" -font "$CJK" -pointsize 12 -fill '#ff0000' -gravity northeast \
  -annotate "+$((745 - 30 - px - 618 + 12 + 40 + 6))+$((30 + py + 75))" "进入游戏即可领取海量军费及VIP" "$P"
# logos, bottoms at y 471
place "$out/logo_lm.png" 57 $((471 - 28))
place "$out/logo_brisca.png" 173 $((471 - 28))
place "$out/logo_sina.png" $((685 - 49 - 96)) $((471 - 28))
save "$P" "$top/docs/skin_preview.png"

echo "skin artwork written to $out; preview in docs/skin_preview.png"
