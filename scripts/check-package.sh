#!/usr/bin/env bash
# Checks a Debian package of actualiz as a person would meet it: unpacked into a clean root
# (dpkg -x), both programs answer --help in Spanish with the libraries of this system, the
# window opens from the installed files as the desktop entry starts it and says where it looked
# for the models; the package declares its libraries and the font, its binaries are stripped,
# its desktop entry, AppStream description and manual pages are valid, and lintian finds no
# errors (its warnings are printed).
#   scripts/check-package.sh build/package/actualiz_*.deb
set -euo pipefail
deb=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

dpkg -x "$deb" "$root"
for program in actualiz actualiz-cli; do
    [[ -x $root/usr/bin/$program ]] || fail "$program is not installed"
    file "$root/usr/bin/$program" | grep -q ", stripped" || fail "$program is not stripped"
    ! ldd "$root/usr/bin/$program" | grep -q "not found" || fail "$program lacks a library"
    help=$("$root/usr/bin/$program" --help) || fail "$program --help failed"
    grep -q "^Uso: .*$program" <<<"$help" || fail "$program --help has no Spanish usage line"
    [[ -f $root/usr/share/man/man1/$program.1.gz ]] || fail "no manual page for $program"
    man --warnings -l "$root/usr/share/man/man1/$program.1.gz" >/dev/null 2>"$work/man.txt"
    [[ ! -s $work/man.txt ]] || fail "the manual page of $program: $(cat "$work/man.txt")"
done

depends=$(dpkg-deb -f "$deb" Depends)
for package in fonts-liberation2 libqt6widgets6 libsqlite3-0 libicu72; do
    grep -q "$package" <<<"$depends" || fail "Depends lacks $package: $depends"
done

desktop=$root/usr/share/applications/actualiz.desktop
[[ -f $desktop ]] || fail "no desktop entry"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
fi
for size in 16x16 22x22 24x24 32x32 48x48 64x64 128x128 256x256 scalable; do
    ls "$root/usr/share/icons/hicolor/$size/apps/actualiz."* >/dev/null 2>&1 ||
        fail "no $size icon"
done
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml >/dev/null ||
    fail "appstreamcli validate: $(appstreamcli validate --no-net "$root"/usr/share/metainfo/*.xml)"

# The desktop entry's command from the installed files, for a user with nothing set up: the
# window opens, and the first-run message names the models folder it looked for and how to
# name another.
home=$work/home
mkdir -p "$home"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
status=0
env -i PATH="$root/usr/bin:/usr/bin:/bin" HOME="$home" QT_QPA_PLATFORM=offscreen \
    $exec_line --self-test >"$work/out.txt" 2>"$work/err.txt" || status=$?
[[ $status -eq 0 ]] || fail "the desktop entry's window did not come up ($status): $(cat "$work/err.txt")"
grep -q "modelos" "$work/err.txt" || fail "the first-run message does not mention the models"
grep -q "ACTUALIZ_PROGRAM_DIR" "$work/err.txt" ||
    fail "the first-run message does not say how to name the program folder"
grep -q "$home/.local/share/actualiz" "$work/err.txt" ||
    fail "the first-run message does not name the folder it looked in"

if command -v lintian >/dev/null; then
    lintian --no-tag-display-limit "$deb" >"$work/lintian.txt" 2>&1 || true
    if grep -q "^E:" "$work/lintian.txt"; then
        fail "lintian errors:"
        grep "^E:" "$work/lintian.txt"
    fi
    echo "lintian warnings: $(grep -c "^W:" "$work/lintian.txt" || true)"
    grep "^W:" "$work/lintian.txt" || true
else
    echo "lintian is not installed: not run"
fi

if ((failures > 0)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "package checked: $deb"
