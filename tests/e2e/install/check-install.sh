#!/usr/bin/env bash
# check-install.sh BUILD_DIR VERSION PROGRAM...
# Installs the build into a scratch root with DESTDIR, validates the menu entry, the AppStream data and the
# icon, builds the .deb with CPack into a scratch folder, and checks its control data, contents and lintian.
set -euo pipefail

build=$1 version=$2
shift 2
programs=("$@")

scratch=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-install-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

for p in "${programs[@]}"; do
    [ -x "$build/bin/$p" ] || { echo "FAIL: $build/bin/$p is not built" >&2; exit 1; }
done

# ---- cmake --install ----
root=$scratch/root
DESTDIR=$root cmake --install "$build" --prefix /usr >"$scratch/install.log" 2>&1 \
    || { cat "$scratch/install.log" >&2; exit 1; }

expect_file() { # path mode
    local f=$root$1
    if [ ! -f "$f" ]; then fail "$1 not installed"; return; fi
    local mode
    mode=$(stat -c %a "$f")
    [ "$mode" = "$2" ] || fail "$1 has mode $mode, wants $2"
}
for p in "${programs[@]}"; do
    expect_file /usr/bin/$p 755
    expect_file /usr/share/man/man1/$p.1.gz 644
done
expect_file /usr/share/applications/quorvel.desktop 644
expect_file /usr/share/icons/hicolor/scalable/apps/quorvel.svg 644
expect_file /usr/share/metainfo/io.github.quorvel.quorvel.metainfo.xml 644
expect_file /usr/share/doc/quorvel/copyright 644
expect_file /usr/share/doc/quorvel/changelog.Debian.gz 644

out=$(desktop-file-validate "$root/usr/share/applications/quorvel.desktop" 2>&1) \
    || fail "desktop-file-validate failed"
[ -z "$out" ] || fail "desktop-file-validate: $out"
grep -qx 'Exec=quorvel' "$root/usr/share/applications/quorvel.desktop" || fail "menu entry does not run quorvel"
grep -qx 'Icon=quorvel' "$root/usr/share/applications/quorvel.desktop" || fail "menu entry lacks the icon"

metainfo=$root/usr/share/metainfo/io.github.quorvel.quorvel.metainfo.xml
appstreamcli validate --no-net --pedantic "$metainfo" >"$scratch/as.log" 2>&1 \
    || { cat "$scratch/as.log" >&2; fail "appstreamcli validate"; }
grep -Eq '^[[:space:]]*[EWIP]:' "$scratch/as.log" && { cat "$scratch/as.log" >&2; fail "appstreamcli has remarks"; }
grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo release is not $version"
# The whole tree: the metainfo's launchable must find the desktop file, and that its icon.
appstreamcli validate-tree --no-net --pedantic "$root/usr" >"$scratch/tree.log" 2>&1 \
    || { cat "$scratch/tree.log" >&2; fail "appstreamcli validate-tree"; }
grep -Eq '^[[:space:]]*[EWIP]:' "$scratch/tree.log" && { cat "$scratch/tree.log" >&2; fail "appstreamcli validate-tree has remarks"; }

svg=$root/usr/share/icons/hicolor/scalable/apps/quorvel.svg
xmllint --noout "$svg" 2>"$scratch/svg.log" || { cat "$scratch/svg.log" >&2; fail "icon is not well-formed XML"; }
grep -q 'viewBox="0 0 48 48"' "$svg" || fail "icon lacks the 48x48 viewBox"

# ---- the Debian package ----
# CPack's own work folders go below -B, so the build folder is only read.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/deb" >"$scratch/cpack.log" 2>&1 \
    || { cat "$scratch/cpack.log" >&2; exit 1; }
debs=("$scratch"/deb/quorvel_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { ls -l "$scratch/deb" >&2; exit 1; }
deb=${debs[0]}
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "quorvel_${version}-1_${arch}.deb" ] || fail "package file is named $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = quorvel ] || fail "Package: $(field Package)"
[ "$(field Version)" = "${version}-1" ] || fail "Version: $(field Version)"
[ "$(field Section)" = net ] || fail "Section: $(field Section)"
[ "$(field Maintainer)" = "Quorvel developers <quorvel@example.org>" ] || fail "Maintainer: $(field Maintainer)"
depends=$(field Depends)
wanted=(espeak-ng-data libcap2-bin qt6-qpa-plugins libqt6svg6 libpcap0.8)
if [[ " ${programs[*]} " == *" quorvel "* ]]; then
    wanted+=(libqt6core6 libqt6gui6 libqt6widgets6 libqt6multimedia6 libespeak-ng1 libsoxr0 libsndfile1 libcap2)
fi
for d in "${wanted[@]}"; do
    [[ ",$depends," =~ [,\ ]${d//./\\.}[\ ,\(] ]] || fail "Depends lacks $d: $depends"
done

dpkg-deb --ctrl-tarfile "$deb" | tar -t >"$scratch/ctrl.list"
for s in postinst prerm; do
    grep -qx "./$s" "$scratch/ctrl.list" || fail "control archive lacks $s"
done
ctrl=$scratch/ctrl
dpkg-deb -e "$deb" "$ctrl"
grep -q 'setcap cap_net_raw+ep /usr/bin/quorvel' "$ctrl/postinst" || fail "postinst does not grant the capability"
for s in postinst prerm; do
    [ "$(stat -c %a "$ctrl/$s")" = 755 ] || fail "$s is not 0755"
    sh -n "$ctrl/$s" || fail "$s is not valid sh"
done

# Contents: our files in place, owned by root, no directory writable by others, nothing else.
dpkg-deb -c "$deb" >"$scratch/contents"
for p in "${programs[@]}"; do
    grep -Eq "^-rwxr-xr-x root/root .* \./usr/bin/$p$" "$scratch/contents" || fail "/usr/bin/$p missing or wrong mode"
done
for f in usr/share/applications/quorvel.desktop usr/share/icons/hicolor/scalable/apps/quorvel.svg \
         usr/share/metainfo/io.github.quorvel.quorvel.metainfo.xml usr/share/doc/quorvel/copyright \
         usr/share/doc/quorvel/changelog.Debian.gz; do
    grep -Eq "^-rw-r--r-- root/root .* \./$f$" "$scratch/contents" || fail "/$f missing or wrong mode"
done
awk '$1 ~ /^d/ && $1 != "drwxr-xr-x" { print }' "$scratch/contents" | grep . && fail "directories with odd modes"
awk '{ print $6 }' "$scratch/contents" | grep -Ev '^\./(usr/(bin|share/(applications|icons|metainfo|man|doc))?/?.*)?$' \
    && fail "unexpected paths in the package"

unpacked=$scratch/unpacked
dpkg-deb -x "$deb" "$unpacked"
for p in "${programs[@]}"; do
    file "$unpacked/usr/bin/$p" | grep -q ', stripped' || fail "/usr/bin/$p is not stripped"
done

# lintian: any error or warning fails the test, except the tags below, which cannot apply to this package.
suppress=(
    # example.org is reserved for examples; the project has no mail domain of its own yet.
    bogus-mail-host
    # The project has no web site yet.
    no-homepage-field
    # Asks for the ITP bug an upload to the Debian archive closes; this package is built locally, not uploaded.
    initial-upload-closes-no-bugs
)
if ! lintian --tag-display-limit 0 --display-level '>=warning' --fail-on error,warning \
        --suppress-tags "$(IFS=,; echo "${suppress[*]}")" "$deb" >"$scratch/lintian.log" 2>&1; then
    cat "$scratch/lintian.log" >&2
    fail "lintian reports errors or warnings (or did not run)"
fi

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "install and package checks passed: $(basename "$deb")"
