#!/usr/bin/env bash
# A product team's path: install the framework as a package, build the
# sample program (sample/) against the installed package only, check that
# every installed header compiles on its own from the installed tree, and
# drive the sample's skinned dialog under Xvfb.
set -euo pipefail
bin=${1:?usage: e2e_sample.sh BIN_DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$bin/.." && pwd)
arch=${build##*/build-}
triple=$arch-w64-mingw32
source "$root/tools/e2e-lib.sh"

work="$build/sample-check"
rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$work/sdk" >"$work/install.log" ||
  e2e_fail "cmake --install failed: $work/install.log"

# Each public header on its own, with only the installed tree to include
# from: a header that leans on an internal one fails here.
inc="$work/sdk/include/qvframework"
headers=$(cd "$inc" && find . -name '*.h' | sed 's|^\./||' | sort)
[ "$(wc -l <<<"$headers")" -ge 20 ] || e2e_fail "too few headers installed: $headers"
for h in $headers; do
  echo "#include \"$h\"" | $triple-g++-posix -std=c++20 -fsyntax-only -DUNICODE -D_UNICODE \
    -D_WIN32_WINNT=0x0601 -I "$inc" -x c++ - 2>"$work/header.log" ||
    e2e_fail "$h does not compile on its own from the installed tree:"$'\n'"$(head -5 "$work/header.log")"
done
for internal in base/QvZlibApi.h base/QvNarrow.h base/QvLogSeam.h app/MainDlg.h; do
  [ ! -e "$inc/$internal" ] || e2e_fail "internal header installed: $internal"
done

# No import library ships (docs/framework.md): the package's static library
# is how a product reaches the framework, so it must define every name the
# program exports.
[ -z "$(find "$work/sdk" -name 'libqvUninstall*')" ] ||
  e2e_fail "an import library of the program is installed"
lib="$work/sdk/lib/libqvframework.a"
[ -f "$lib" ] || e2e_fail "the static library is not installed"
exports=$($triple-objdump -p "$bin/qvUninstall.exe" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          sed -n 's/^\s*\[ *[0-9]*\] //p' | LC_ALL=C sort -u)
[ "$(wc -l <<<"$exports")" -gt 100 ] || e2e_fail "the program exports almost nothing"
prefix=""; [ "$arch" = i686 ] && prefix=_  # i686 symbols carry a leading underscore
defined=$($triple-nm --defined-only -g "$lib" 2>/dev/null | awk 'NF == 3 {print $3}' |
          sed "s/^$prefix//" | LC_ALL=C sort -u)
missing=$(LC_ALL=C comm -23 <(printf '%s\n' "$exports") <(printf '%s\n' "$defined"))
[ -z "$missing" ] || e2e_fail "exported but not in the installed library:"$'\n'"$missing"

# The skin's resource script stands on its own: a product's script may
# include it first.
skin="$work/sdk/share/qvframework/skin"
$triple-windres -I "$skin" "$skin/qvframework-skin.rc" -O coff -o "$work/skin.o" 2>"$work/skin.log" ||
  e2e_fail "qvframework-skin.rc does not compile on its own: $(head -3 "$work/skin.log")"

# The guide and the sample come with the package.
for f in share/doc/qvframework/framework.md share/doc/qvframework/testing.md \
         share/qvframework/sample/CMakeLists.txt share/qvframework/sample/res/sample.rc; do
  [ -f "$work/sdk/$f" ] || e2e_fail "the package lacks $f"
done

# Names in a program's export table, one a line.
exported() { $triple-objdump -p "$1" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
             sed -n 's/^\s*\[ *[0-9]*\] //p'; }
# The installed library carries no export directives: a product built on it
# exports nothing.
if $triple-objdump -h "$lib" | grep -q '\.drectve'; then
  e2e_fail "the installed library still carries export directives"
fi

# The sample, as installed, configured as its README section says, with the
# source tree out of sight: only the package's folder and its toolchain
# file are given.
toolchain="$work/sdk/lib/cmake/qvframework/toolchain-$arch-mingw.cmake"
[ -f "$toolchain" ] || e2e_fail "the package carries no toolchain file"
cmake -S "$work/sdk/share/qvframework/sample" -B "$work/sample" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_PREFIX_PATH="$work/sdk" >"$work/configure.log" 2>&1 ||
  e2e_fail "configuring the sample failed: $work/configure.log"
if grep -rq -- "-I$root\b\|$root/app\|$root/ui\|$root/base\|$root/cmake\|$root/tools" \
     "$work/sample/CMakeFiles/qvsample.dir/"*.rsp "$work/sample/CMakeFiles/qvsample.dir/"*.make \
     "$work/sample/CMakeCache.txt" 2>/dev/null; then
  e2e_fail "the sample sees the source tree"
fi
cmake --build "$work/sample" -j2 >"$work/build.log" 2>&1 ||
  e2e_fail "building the sample failed:"$'\n'"$(grep -i error "$work/build.log" | head -20)"
exe="$work/sample/qvsample.exe"
"$root/tools/check-pe.sh" "$exe" >/dev/null || e2e_fail "the sample imports more than Windows' DLLs"
[ -z "$(exported "$exe")" ] ||
  e2e_fail "the sample exports $(exported "$exe" | wc -l) names, e.g. $(exported "$exe" | head -3 | tr '\n' ' ')"
[ -z "$(find "$work/sample" -name '*.dll.a')" ] ||
  e2e_fail "an import library was written for the sample: $(find "$work/sample" -name '*.dll.a')"

# Chinese text in a product's resource script arrives as written.
version=$($triple-windres -J coff -i "$exe" -O rc 2>/dev/null | sed -n '/VALUE "ProductName"/p')
[[ "$version" == *'L"\x6846\x67b6\x793a\x4f8b"'* ]] ||
  e2e_fail "the sample's product name is not 框架示例 in its version information: ${version:-none}"

# Built as the package ships a product: Release, -Os, unused sections
# dropped, stripped, its debug information beside it and named by it.
size=$(stat -c %s "$exe")
[ "$size" -lt $((1024 * 1024)) ] || e2e_fail "the sample is $((size / 1024)) KiB: not built to ship"
[ -f "$exe.debug" ] || e2e_fail "no qvsample.exe.debug beside the sample"
$triple-objdump -h "$exe" | grep -q '\.gnu_debuglink' || e2e_fail "the sample does not name its debug file"
! $triple-objdump -h "$exe" | grep -q '\.debug_info' || e2e_fail "the sample carries its debug information"
$triple-objdump -h "$exe.debug" | grep -q '\.debug_info' || e2e_fail "the debug file holds no debug information"

# A second product of the smallest kind, a console program with main: the
# package's link options must not demand wWinMain of it.
mkdir -p "$work/tiny-src"
cat >"$work/tiny-src/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(qvtiny CXX)
find_package(qvframework REQUIRED)
add_executable(qvtiny tiny.cpp)
target_link_libraries(qvtiny PRIVATE qvframework::qvframework)
CMAKE
cat >"$work/tiny-src/tiny.cpp" <<'CPP'
#include <cstdio>
#include "base/QvDigest.h"
#include "base/QvUtil.h"
int main() {
    wchar_t folder[MAX_PATH] = {};
    GetCurPath(folder);
    std::printf("%ls\n", folder);
    return folder[0] ? 7 : 1;
}
CPP
# Configures and builds $work/NAME-src into $work/NAME against the package
# only; WHAT names it in a failure.
build_product() {
  local name=$1 what=$2
  cmake -S "$work/$name-src" -B "$work/$name" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_PREFIX_PATH="$work/sdk" >"$work/$name-configure.log" 2>&1 ||
    e2e_fail "configuring $what failed: $work/$name-configure.log"
  cmake --build "$work/$name" >"$work/$name-build.log" 2>&1 ||
    e2e_fail "building $what failed:"$'\n'"$(grep -i error "$work/$name-build.log" | head -20)"
}
build_product tiny "the second program"
tiny="$work/tiny/qvtiny.exe"
"$root/tools/check-pe.sh" "$tiny" >/dev/null || e2e_fail "the second program imports more than Windows' DLLs"
[ -z "$(exported "$tiny")" ] || e2e_fail "the second program exports framework names"
[ -z "$(find "$work/tiny" -name '*.dll.a')" ] || e2e_fail "an import library was written for the second program"

# The example of docs/framework.md: its CMakeLists.txt, main.cpp and app.rc
# as they stand there.
doc="$root/docs/framework.md"
block() { sed -n "/^## $1/,\$p" "$doc" | sed -n "/^\`\`\`$2\$/,/^\`\`\`\$/{p;/^\`\`\`\$/q}" | sed '1d;$d'; }
mkdir -p "$work/hello-src"
block "Install and link" cmake >"$work/hello-src/CMakeLists.txt"
block "Ten lines" cpp >"$work/hello-src/main.cpp"
block "Ten lines" rc >"$work/hello-src/app.rc"
for f in CMakeLists.txt main.cpp app.rc; do
  [ -s "$work/hello-src/$f" ] || e2e_fail "no $f in the documentation's example"
done
build_product hello "the documentation's example"

px() { e2e_pixel "$@"; echo; }  # with a line end, so that read succeeds
shots=${E2E_SHOTS:-$work/shots}
mkdir -p "$shots"
trap qv_env_down EXIT
qv_env_up
# The package's own Wine wrapper runs the second program.
tcode=0; (cd "$work/tiny" && timeout 120 "$work/sdk/lib/cmake/qvframework/wine" ./qvtiny.exe >"$work/tiny-run.log" 2>&1) || tcode=$?
[ "$tcode" = 7 ] || e2e_fail "the second program ended with $tcode, not 7: $(head -3 "$work/tiny-run.log")"

# The example draws the default skin's button whole at (40, 148): both its
# outer edges are there, in the image's edge colour, and nothing beyond.
E2E_TITLE="你好"
e2e_start "$work/hello/app.exe"
e2e_settle
qvwin.sh shot "$shots/hello.png" "$E2E_WID"
edge() { read -r r g b < <(px "$shots/hello.png" "$1" 158)
         [ $(( (r - 174) * (r - 174) + (g - 184) * (g - 184) + (b - 196) * (b - 196) )) -lt 300 ]; }
edge 40 || e2e_fail "the example's button has no left edge at x 40 ($(px "$shots/hello.png" 40 158))"
edge 108 || e2e_fail "the example's button has no right edge at x 108 ($(px "$shots/hello.png" 108 158))"
! edge 109 || e2e_fail "the example's button reaches beyond its 69 pixels"
qvwin.sh click "$E2E_WID" 74 158
code=0; e2e_wait_exit 30 || code=$?
[ "$code" = 0 ] || e2e_fail "the example ended with exit code $code after its button was clicked"
# The pointer leaves the spot where the sample's count button will be.
xdotool mousemove 0 0

E2E_TITLE="框架示例"
e2e_start "$exe"
e2e_settle
read -r _ _ w h < <(qvwin.sh geometry "$E2E_WID")
[ "$w $h" = "360 220" ] || e2e_fail "window is ${w}x$h, not 360x220"
qvwin.sh shot "$shots/sample-start.png" "$E2E_WID"

# The default background: its title band is blue, its body light.
read -r r g b < <(px "$shots/sample-start.png" 180 12)
[ "$b" -gt "$r" ] || e2e_fail "no blue title band at the top ($r $g $b)"
read -r r g b < <(px "$shots/sample-start.png" 180 120)
[ $((r + g + b)) -gt 600 ] || e2e_fail "the body is not light ($r $g $b)"

# The close button is drawn from the sample's own red strip.
read -r r g b < <(px "$shots/sample-start.png" 245 170)
[ "$r" -gt 150 ] && [ "$g" -lt 130 ] || e2e_fail "the sample's own button image is missing ($r $g $b)"

# Hovering the count button shows its hover image; clicking counts.
count_text() { e2e_dark_pixels "$1" 240x24+60+80; }
before=$(count_text "$shots/sample-start.png")
qvwin.sh shot "$work/normal.png" "$E2E_WID"
qvwin.sh move "$E2E_WID" 94 170
e2e_shot_until changed "$work/normal.png" 69x21+60+160 "$shots/sample-hover.png" \
  "hovering the count button did not change it"
qvwin.sh click "$E2E_WID" 94 170
e2e_shot_until changed "$shots/sample-hover.png" 240x24+60+80 "$shots/sample-count1.png" \
  "the first click did not change the count"
one=$(count_text "$shots/sample-count1.png")
qvwin.sh click "$E2E_WID" 94 170
e2e_shot_until changed "$shots/sample-count1.png" 240x24+60+80 "$shots/sample-count2.png" \
  "the second click did not change the count"
two=$(count_text "$shots/sample-count2.png")
[ "$before" -gt 20 ] || e2e_fail "no count text drawn"
[ "$before" != "$one" ] && [ "$one" != "$two" ] || e2e_fail "the count did not change ($before, $one, $two)"

# The check box ticks: its picture changes.
box() { convert "$1" -crop 16x16+60+115 +repage rgb:- | md5sum; }
qvwin.sh move "$E2E_WID" 200 100
e2e_shot_until same "$work/normal.png" 69x21+60+160 "$work/unticked.png" \
  "the count button kept its hover image"
qvwin.sh click "$E2E_WID" 68 123
qvwin.sh move "$E2E_WID" 200 100
e2e_shot_until changed "$work/unticked.png" 16x16+60+115 "$shots/sample-ticked.png" \
  "clicking the check box did not tick it"

# The message box: modal, titled, ends itself after its count-down with
# "确定", which the label then shows.
label() { e2e_dark_pixels "$1" 240x20+60+44; }
before=$(label "$shots/sample-ticked.png")
qvwin.sh click "$E2E_WID" 184 170
# The box is a second window, titled as it says: "提示".
others() { xdotool search --onlyvisible --name "^提示\$" 2>/dev/null | grep -v "^$E2E_WID\$" || true; }
msg=""
for _ in $(seq 1 $((100 * E2E_SCALE))); do msg=$(others | head -n 1); [ -n "$msg" ] && break; sleep 0.2; done
[ -n "$msg" ] || e2e_fail "no message box"
read -r mx my mw mh < <(qvwin.sh geometry "$msg")
[ "$mw $mh" = "300 180" ] || e2e_fail "message box is ${mw}x$mh, not 300x180"
drawn=0
for _ in $(seq 1 $((50 * E2E_SCALE))); do
  qvwin.sh shot "$shots/sample-msgbox.png"
  drawn=$(e2e_dark_pixels "$shots/sample-msgbox.png" "${mw}x$mh+$mx+$my")
  [ "$drawn" -gt 20 ] && break
  sleep 0.2
done
[ "$drawn" -gt 20 ] || e2e_fail "the message box drew no text"
for _ in $(seq 1 $((100 * E2E_SCALE))); do [ -z "$(others)" ] && break; sleep 0.2; done
[ -z "$(others)" ] || e2e_fail "the message box did not end after its count-down"
e2e_shot_until changed "$shots/sample-ticked.png" 240x20+60+44 "$shots/sample-answered.png" \
  "the label did not change after the message box"
after=$(label "$shots/sample-answered.png")
[ "$after" -gt 20 ] && [ "$after" != "$before" ] || e2e_fail "the label did not take the answer ($before, $after)"

qvwin.sh click "$E2E_WID" 270 170
code=0; e2e_wait_exit 30 || code=$?
[ "$code" = 0 ] || e2e_fail "the sample ended with exit code $code"
echo "e2e_sample: package installed, $(wc -l <<<"$headers") headers compile alone, sample and a second program built from it export nothing, sample driven; shots in $shots"
