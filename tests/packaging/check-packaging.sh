#!/usr/bin/env bash
# Builds the program as people get it (no test entry points), installs it into a
# temporary prefix and packages it with CPack, then lets the desktop's and Debian's
# own tools judge the result. Exits 77 (skipped) only when one of them is missing.
# Usage: check-packaging.sh SOURCE_DIR SHIPPED_BUILD_DIR TEST_EXECUTABLE GENERATOR LAUNCHER VERSION
set -euo pipefail
source_dir=$1 build=$2 test_program=$3 generator=$4 launcher=$5 version=$6
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in desktop-file-validate appstreamcli man xdg-mime gio lintian dpkg-deb dpkg-shlibdeps file; do
    command -v "$tool" >/dev/null || { echo "SKIP: no $tool (scripts/install-deps.sh)"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$source_dir" -B "$build" -G "$generator" -DCMAKE_BUILD_TYPE=Release -DQUILLET_WERROR=ON \
    -DQUILLET_TESTS=OFF -DQUILLET_BENCH=OFF ${launcher:+-DCMAKE_CXX_COMPILER_LAUNCHER=$launcher} >/dev/null
cmake --build "$build" >/dev/null
# The variables through which tests drive the program: in the test build, not in the shipped one.
for variable in QUILLET_BOX_LOG QUILLET_BOX_ANSWERS QUILLET_TEST_INPUT QUILLET_SHOWN_MARKS; do
    grep -q "$variable" "$test_program" || fail "$variable is not in the test build"
    ! grep -q "$variable" "$build/quillet-im" || fail "the shipped program reads $variable"
done

share=$work/prefix/share
cmake --install "$build" --prefix "$work/prefix" >/dev/null
[ "$("$work/prefix/bin/quillet-im" --version)" = "Quillet IM $version" ] || fail "--version"
out=$(desktop-file-validate "$share/applications/quillet-im.desktop" 2>&1) && [ -z "$out" ] || fail "$out"
appstreamcli validate --no-net --pedantic "$share"/metainfo/*.xml >"$work/out" 2>&1 && ! grep -E '^[EWIP]: ' "$work/out" ||
    fail "appstreamcli: $(cat "$work/out")"
for page in man1 ru/man1; do
    MANWIDTH=100 man --warnings -l "$share/man/$page/quillet-im.1.gz" 2>"$work/out" | grep -q "Quillet IM $version" &&
        [ ! -s "$work/out" ] || fail "manual page $page: $(cat "$work/out")"
done
for size in 16 24 32 48 64 128 256; do
    file -b "$share/icons/hicolor/${size}x$size/apps/quillet-im.png" | grep -q "^PNG image data, $size x $size," ||
        fail "icon ${size}x$size"
done
# A double click in a file manager, for a fresh user who sees only the prefix.
desktop() { env -u XDG_CURRENT_DESKTOP -u DISPLAY -u WAYLAND_DISPLAY XDG_DATA_DIRS="$share" XDG_DATA_HOME="$share" "$@"; }
printf '\xff\xfe' >"$work/Чат с семьёй.QLIMChat"
printf '\xff\xfe' >"$work/message.QLIM"
[ "$(desktop xdg-mime query filetype "$work/Чат с семьёй.QLIMChat")" = application/x-quillet-chat ] &&
    [ "$(desktop xdg-mime query filetype "$work/message.QLIM")" != application/x-quillet-chat ] &&
    [ "$(desktop xdg-mime query default application/x-quillet-chat)" = quillet-im.desktop ] ||
    fail "chat files do not open with the program"
desktop gio info -a standard::content-type,standard::icon "$work/Чат с семьёй.QLIMChat" >"$work/out"
grep -q "type: application/x-quillet-chat" "$work/out" && grep -q "icon: quillet-im," "$work/out" ||
    fail "gio: $(cat "$work/out")"

# The Debian package of the same build.
(cd "$build" && cpack -G DEB -B "$work/deb" >/dev/null)
deb=$(ls "$work"/deb/*.deb)
[ "$(dpkg-deb -f "$deb" Package Version)" = "Package: quillet-im
Version: $version-1" ] || fail "$(dpkg-deb -f "$deb" Package Version)"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in 'libqt6widgets6 (>= 6' 'libc6 (>= ' qt6-translations-l10n qt6-wayland qt6-image-formats-plugins; do
    [[ "$depends" == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done
dpkg-deb -c "$deb" >"$work/out"
grep -q '^-rwxr-xr-x root/root .* \./usr/bin/quillet-im$' "$work/out" &&
    ! grep -vE '^[-d]rw[-x]r-[-x]r-[-x] root/root .* \./(usr/.*)?$' "$work/out" &&
    ! grep -E '(mime\.cache|mimeinfo\.cache|icon-theme\.cache|/mime/globs2?)$' "$work/out" ||
    fail "files outside /usr, not root's, odd modes or caches that dpkg triggers build"
# The one tag left out asks for a bug to close, which only uploads to Debian have.
lintian --suppress-tags initial-upload-closes-no-bugs --fail-on error,warning "$deb" >"$work/out" &&
    ! grep -E '^[EW]: ' "$work/out" || fail "lintian: $(cat "$work/out")"
echo "packaging checks passed"
