#!/bin/bash
# Composes previews of the main dialog and the message box from the rendered
# PNGs the way the program places and stretches them, for judging the art:
#   res/art/preview.sh OUTDIR
# Text is set in WenQuanYi Micro Hei at the size of the program's default
# font (an 18-pixel cell). Needs ImageMagick.
set -euo pipefail
cd "$(dirname "$0")/../.."
out=${1:-/tmp/qv-preview}
mkdir -p "$out"
r=res
font="WenQuanYi-Micro-Hei"
convert -list font | grep -c "WenQuanYi-Micro-Hei" >/dev/null || font=""
fontarg=(); [[ -n "$font" ]] && fontarg=(-font "$font")
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT

# Frame $2 of a 3-frame strip $1 stretched to 68x29 keeping 8 columns each side.
button() {
    local strip=$1 frame=$2 dst=$3 x=$(( $2 * 29 ))
    convert "$strip" -crop 8x29+${x}+0 +repage "$tmp/l.png"
    convert "$strip" -crop 13x29+$((x + 8))+0 +repage -resize '52x29!' "$tmp/m.png"
    convert "$strip" -crop 8x29+$((x + 21))+0 +repage "$tmp/r.png"
    convert "$tmp/l.png" "$tmp/m.png" "$tmp/r.png" +append "$dst"
}

# Desktop behind the layered window, 20 pixels around it.
desk() { convert -size 490x270 gradient:'#7f98b3-#5f7a96' "$1"; }

# question STATE_UNINSTALL STATE_CANCEL OUT
question() {
    button $r/img_60074.png "$1" "$tmp/b1.png"
    button $r/img_60073.png "$2" "$tmp/b2.png"
    convert -size 450x230 xc:none \
        $r/img_60052.png -geometry +0+89 -composite \
        "${fontarg[@]}" -pointsize 14 -fill black \
        \( -size 210x30 -background none -gravity West label:"您确定要卸载塔洛播放器?" \) \
        -gravity NorthWest -geometry +35+146 -composite \
        "$tmp/b1.png" -geometry +255+148 -composite \
        "$tmp/b2.png" -geometry +325+148 -composite "$tmp/w.png"
    # captions, centred in the button box raised by 2 pixels
    convert "$tmp/w.png" "${fontarg[@]}" -pointsize 14 -fill black \
        \( -size 68x29 -background none -gravity center label:"卸 载" \) -gravity NorthWest -geometry +255+146 -composite \
        \( -size 68x29 -background none -gravity center label:"取 消" \) -gravity NorthWest -geometry +325+146 -composite \
        "$tmp/w.png"
    desk "$3"; convert "$3" "$tmp/w.png" -geometry +20+20 -composite "$3"
}

# progress PERCENT ERASERTOP OUT
progress() {
    local p=$1 top=$2 cut=$(( $1 * 279 / 100 )) off=$(( $1 * 240 / 100 ))
    convert -size 450x230 xc:none $r/img_60052.png -geometry +0+89 -composite "$tmp/w.png"
    if (( cut < 279 )); then
        convert $r/img_60026.png -crop $((279 - cut))x23+${cut}+0 +repage "$tmp/ink.png"
        convert "$tmp/w.png" "$tmp/ink.png" -geometry +$((75 + cut))+150 -composite "$tmp/w.png"
    fi
    convert "$tmp/w.png" $r/img_60027.png -geometry +$((60 + off))+${top} -composite "$tmp/w.png"
    desk "$3"; convert "$3" "$tmp/w.png" -geometry +20+20 -composite "$3"
}

question 0 0 "$out/q-normal.png"
question 1 0 "$out/q-hover.png"
question 0 2 "$out/q-pressed.png"
progress 0 30 "$out/p-000.png"
progress 40 0 "$out/p-040.png"
progress 70 30 "$out/p-070.png"
progress 100 30 "$out/p-100.png"
convert "$out/q-normal.png" "$out/q-hover.png" "$out/q-pressed.png" -append "$out/main-question.png"
convert "$out/p-000.png" "$out/p-040.png" "$out/p-070.png" "$out/p-100.png" -append "$out/main-progress.png"

# Message box 300x200 as the crash handler shows it, and a question box.
msgbox() { # PICTURE CLOSESTATE OUT BUTTONS
    local W=300 H=200
    convert $r/img_60051.png -crop 3x30+0+0 +repage "$tmp/tl.png"
    # nine-part stretch: corners 3x30, edges stretched in one direction
    convert \( $r/img_60051.png -crop 3x30+0+0 +repage \) \
            \( $r/img_60051.png -crop 180x30+3+0 +repage -resize "$((W - 6))x30!" \) \
            \( $r/img_60051.png -crop 3x30+183+0 +repage \) +append "$tmp/top.png"
    convert \( $r/img_60051.png -crop 3x90+0+30 +repage -resize "3x$((H - 60))!" \) \
            \( $r/img_60051.png -crop 180x90+3+30 +repage -resize "$((W - 6))x$((H - 60))!" \) \
            \( $r/img_60051.png -crop 3x90+183+30 +repage -resize "3x$((H - 60))!" \) +append "$tmp/mid.png"
    convert \( $r/img_60051.png -crop 3x30+0+120 +repage \) \
            \( $r/img_60051.png -crop 180x30+3+120 +repage -resize "$((W - 6))x30!" \) \
            \( $r/img_60051.png -crop 3x30+183+120 +repage \) +append "$tmp/bot.png"
    convert "$tmp/top.png" "$tmp/mid.png" "$tmp/bot.png" -append "$tmp/m.png"
    convert res/icon.ico[2] -resize 24x24 "$tmp/ico.png"
    convert "$tmp/m.png" "$tmp/ico.png" -geometry +5+5 -composite \
        "${fontarg[@]}" -pointsize 15 -fill white -gravity NorthWest \
        \( -size 200x25 -background none label:"塔洛软件-卸载程序" \) -gravity NorthWest -geometry +35+6 -composite \
        $r/img_$2.png -geometry +$((W - 40))+1 -composite \
        $r/img_$1.png -geometry +10+58 -composite "$tmp/m.png"
    if [[ $4 == 1 ]]; then
        convert $r/img_60001.png -resize '70x25!' "$tmp/ok.png"
        convert "$tmp/m.png" "$tmp/ok.png" -geometry +$((W / 2 - 35))+$((H - 30)) -composite \
            "${fontarg[@]}" -pointsize 14 -fill black \
            \( -size 70x25 -background none -gravity center label:"确定(3)" \) -gravity NorthWest -geometry +$((W / 2 - 35))+$((H - 30)) -composite "$tmp/m.png"
    else
        convert $r/img_60002.png -resize '70x25!' "$tmp/ok.png"
        convert $r/img_60001.png -resize '70x25!' "$tmp/cancel.png"
        convert "$tmp/m.png" "$tmp/ok.png" -geometry +$((W / 2 - 80))+$((H - 30)) -composite \
            "$tmp/cancel.png" -geometry +$((W / 2 + 10))+$((H - 30)) -composite \
            "${fontarg[@]}" -pointsize 14 -fill black \
            \( -size 70x25 -background none -gravity center label:"确定" \) -gravity NorthWest -geometry +$((W / 2 - 80))+$((H - 30)) -composite \
            \( -size 70x25 -background none -gravity center label:"取消" \) -gravity NorthWest -geometry +$((W / 2 + 10))+$((H - 30)) -composite \
            -fill black \( -size $((W - 55))x50 -background none -gravity West label:"要删除所选的文件吗?" \) -gravity NorthWest -geometry +50+50 -composite \
            $r/img_60039.png -geometry +50+$((H - 58)) -composite \
            \( -size 180x20 -background none -gravity West label:"不再提示" \) -gravity NorthWest -geometry +68+$((H - 60)) -composite \
            "$tmp/m.png"
    fi
    desk "$3"; convert "$3" -crop 340x240+0+0 +repage "$tmp/m.png" -geometry +20+20 -composite "$3"
}
msgbox 60061 60006 "$out/msg-crash.png" 1
msgbox 60057 60007 "$out/msg-question.png" 2
convert "$out/msg-crash.png" "$out/msg-question.png" +append "$out/msgbox.png"
echo "$out"
