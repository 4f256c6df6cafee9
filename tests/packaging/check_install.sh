#!/usr/bin/env bash
# Installs the build into a temporary root, checks every file a desktop
# needs and validates them, builds the Debian package and checks its
# contents, and starts the menu launcher to see it make its data folder.
set -euo pipefail
build=$1
id=com.rivevozudezi.Z8pPhonebook
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

DESTDIR="$root/dest" cmake --install "$build" --prefix /usr >/dev/null
files=(
  usr/bin/z8p-phonebook
  usr/bin/z8p-phonebook-desktop
  usr/bin/z8p-phonebook-tool
  usr/lib/x86_64-linux-gnu/z8p-phonebook/z8p-browser.so
  "usr/share/applications/$id.desktop"
  "usr/share/metainfo/$id.metainfo.xml"
  "usr/share/icons/hicolor/scalable/apps/$id.svg"
  usr/share/z8p-phonebook/manual/index.html
  usr/share/doc/z8p-phonebook/copyright
  usr/share/doc/z8p-phonebook/changelog.gz
  usr/share/man/man1/z8p-phonebook.1.gz
  usr/share/man/man1/z8p-phonebook-tool.1.gz
  usr/share/man/man1/z8p-phonebook-desktop.1.gz
)
for size in 16 24 32 48 64 128 256; do files+=("usr/share/icons/hicolor/${size}x${size}/apps/$id.png"); done
for f in "${files[@]}"; do
  [ -s "$root/dest/$f" ] || { echo "not installed: $f"; exit 1; }
done
desktop-file-validate "$root/dest/usr/share/applications/$id.desktop"
appstreamcli validate --no-net "$root/dest/usr/share/metainfo/$id.metainfo.xml" >/dev/null

# The package holds the same files and says what it needs.
(cd "$build" && cpack -G DEB -B "$root/pkg" >/dev/null)
deb=$(ls "$root"/pkg/z8p-phonebook_*.deb)
listing=$(dpkg-deb -c "$deb")
for f in "${files[@]}"; do
  grep -q " ./$f\$" <<<"$listing" || { echo "not packaged: $f"; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libqt6webenginewidgets6 xdg-utils qt6-qpa-plugins; do
  grep -q "$d" <<<"$depends" || { echo "the package does not depend on $d: $depends"; exit 1; }
done

# Debian's own checker: no error, no warning (information tags are listed in
# the release notes); and the hardening Debian builds get.
if command -v lintian >/dev/null; then
  report=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'root privileges' || true)
  if grep -qE '^(E|W): ' <<<"$report"; then echo "lintian: $report"; exit 1; fi
fi
if command -v hardening-check >/dev/null; then
  x="$root/x"; mkdir -p "$x"; dpkg-deb -x "$deb" "$x"
  for b in "$x"/usr/bin/* "$x"/usr/lib/*/z8p-phonebook/*.so; do
    hardening-check -q --nocfprotection --nofortify "$b" || { echo "not hardened: $b"; exit 1; }
  done
  # The binary that calls fortifiable functions calls their checked forms.
  hardening-check -q --nocfprotection "$x/usr/bin/z8p-phonebook-tool" || exit 1
fi

# Started from the menu, the books live in a data folder of their own,
# private to the user (a relative XDG_DATA_HOME is ignored).
status=0
XDG_DATA_HOME="$root/data" QT_QPA_PLATFORM=offscreen timeout 5 "$root/dest/usr/bin/z8p-phonebook-desktop" \
  >/dev/null 2>&1 || status=$?
[ "$status" -eq 124 ] || { echo "the launched program ended early (status $status)"; exit 1; }
[ -f "$root/data/z8p-phonebook/DravikBase.z8B" ] || { echo "no book in the data folder"; exit 1; }
[ "$(stat -c %a "$root/data")" = 700 ] || { echo "the data folder's parent is not private"; exit 1; }
[ "$(stat -c %a "$root/data/z8p-phonebook")" = 700 ] || { echo "the data folder is not private"; exit 1; }
for f in DravikBase.z8B PhoneClip.z8B; do
  [ "$(stat -c %a "$root/data/z8p-phonebook/$f")" = 600 ] || { echo "$f is readable by others"; exit 1; }
done
mkdir -p "$root/home"
status=0
HOME="$root/home" XDG_DATA_HOME=relative/path QT_QPA_PLATFORM=offscreen timeout 5 "$root/dest/usr/bin/z8p-phonebook-desktop" \
  >/dev/null 2>&1 || status=$?
[ -f "$root/home/.local/share/z8p-phonebook/DravikBase.z8B" ] || { echo "a relative XDG_DATA_HOME was used"; exit 1; }
echo "install, package and launcher: all checks passed"
