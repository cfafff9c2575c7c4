#!/usr/bin/env bash
# What `cmake --install` installs and what `cpack -G DEB` packages, checked from the outside:
#   package-test.sh BUILD_DIR VERSION
# 1. installs into a fresh prefix and checks every file, the AppStream metainfo (appstreamcli), the
#    menu entry (desktop-file-validate) and the manual pages (groff with warnings);
# 2. builds the Debian package and checks its metadata and contents (dpkg-deb) and lintian's verdict;
# 3. as root, unpacks it into a throwaway root and runs the installed programs' --version.
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

expected=(
    bin/k72-card
    bin/k72-image-converter
    share/applications/k72-image-converter.desktop
    share/metainfo/com.kavelo.K72ImageConverter.metainfo.xml
    share/man/man1/k72-card.1.gz
    share/man/man1/k72-image-converter.1.gz
    share/bash-completion/completions/k72-card
    share/doc/k72-image-converter/copyright
    share/doc/k72-image-converter/changelog.gz
    share/doc/k72-image-converter/manual/index.html
    share/doc/k72-image-converter/manual/manual.css
    share/doc/k72-image-converter/manual/pictures/main-window.png
    share/doc/k72-image-converter/manual/pictures/still-image-list.png
)
for size in 16 24 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/k72-image-converter.png")
done

echo "== cmake --install"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for file in "${expected[@]}"; do
    [[ -f $prefix/$file ]] || fail "not installed: $file"
done
for size in 16 24 32 48 64 128 256; do
    icon=$prefix/share/icons/hicolor/${size}x${size}/apps/k72-image-converter.png
    if [[ -f $icon ]] && ! file "$icon" | grep -q "PNG image data, $size x $size"; then
        fail "icon $icon is not $size x $size: $(file -b "$icon")"
    fi
done
# Every picture the manual shows is installed with it.
manual=$prefix/share/doc/k72-image-converter/manual
for picture in $(grep -o 'src="[^"]*"' "$manual/index.html" | sed 's/src="//; s/"$//'); do
    [[ -f $manual/$picture ]] || fail "the manual's picture $picture is not installed"
done
[[ $("$prefix/bin/k72-card" --version) == "k72-card $version" ]] || fail "installed k72-card --version"
appstreamcli validate --no-net "$prefix/share/metainfo/com.kavelo.K72ImageConverter.metainfo.xml" ||
    fail "appstreamcli validate"
grep -q "<release version=\"$version\"" "$prefix/share/metainfo/com.kavelo.K72ImageConverter.metainfo.xml" ||
    fail "metainfo release is not $version"
desktop-file-validate "$prefix/share/applications/k72-image-converter.desktop" || fail "desktop-file-validate"
for page in k72-card k72-image-converter; do
    warnings=$(zcat "$prefix/share/man/man1/$page.1.gz" | groff -man -Tutf8 -ww -z 2>&1 || true)
    [[ -z $warnings ]] || fail "manual page $page: $warnings"
    zcat "$prefix/share/man/man1/$page.1.gz" | grep -q "$version" || fail "manual page $page lacks the version"
done

echo "== cpack -G DEB"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null
deb=$work/package/k72-image-converter_${version}_$(dpkg --print-architecture).deb
[[ -f $deb ]] || { fail "no package $deb"; ls "$work/package"; exit 1; }
info=$(dpkg-deb --info "$deb")
grep -q "^ Package: k72-image-converter$" <<<"$info" || fail "package name"
grep -q "^ Version: $version$" <<<"$info" || fail "package version"
for library in libqt6core6 libqt6widgets6 libavcodec59 libavformat59 libc6; do
    grep -q "^ Depends:.*$library" <<<"$info" || fail "Depends lacks $library"
done
contents=$(dpkg-deb --contents "$deb")
for file in "${expected[@]}"; do
    grep -q " \./usr/$file\$" <<<"$contents" || fail "package lacks /usr/$file"
done
if grep -q "k72-make-\|k72_.*_tests\|demo-card" <<<"$contents"; then
    fail "package holds build helpers or tests"
fi
if command -v lintian >/dev/null; then
    errors=$(lintian --tag-display-limit 0 "$deb" 2>/dev/null | grep '^E:' || true)
    [[ -z $errors ]] || fail "lintian: $errors"
fi

if [[ $(id -u) -eq 0 ]]; then
    echo "== dpkg -x into a throwaway root"
    root=$work/root
    dpkg -x "$deb" "$root"
    export LD_LIBRARY_PATH="$root/usr/lib:$root/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || echo x86_64-linux-gnu)"
    [[ $("$root/usr/bin/k72-card" --version) == "k72-card $version" ]] || fail "packaged k72-card --version"
    [[ $("$root/usr/bin/k72-image-converter" --version) == "k72-image-converter $version" ]] ||
        fail "packaged k72-image-converter --version"
    "$root/usr/bin/k72-card" show "$build/demo-card" >/dev/null || fail "packaged k72-card show on the demo card"
fi

if ((failures > 0)); then
    echo "$failures failures"
    exit 1
fi
echo "package: all checks passed"
