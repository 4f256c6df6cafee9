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
browser_files=(
  usr/lib/x86_64-linux-gnu/z8p-phonebook/z8p-browser.so
  usr/share/doc/z8p-phonebook-browser/copyright
  usr/share/doc/z8p-phonebook-browser/changelog.gz
)
for f in "${files[@]}" "${browser_files[@]}"; do
  [ -s "$root/dest/$f" ] || { echo "not installed: $f"; exit 1; }
done
desktop-file-validate "$root/dest/usr/share/applications/$id.desktop"
appstreamcli validate --no-net "$root/dest/usr/share/metainfo/$id.metainfo.xml" >/dev/null

# Two packages: the program without the web engine, and the browser plugin
# with it, which the program recommends.
(cd "$build" && cpack -G DEB -B "$root/pkg" >/dev/null)
deb=$(ls "$root"/pkg/z8p-phonebook_*.deb)
browser_deb=$(ls "$root"/pkg/z8p-phonebook-browser_*.deb)
contains() {   # deb file...
  local pkg=$1 listing
  listing=$(dpkg-deb -c "$pkg"); shift
  for f in "$@"; do
    grep -q " ./$f\$" <<<"$listing" || { echo "not packaged in $(basename "$pkg"): $f"; return 1; }
  done
}
contains "$deb" "${files[@]}"
contains "$browser_deb" "${browser_files[@]}"
if dpkg-deb -c "$deb" | grep -q 'z8p-browser'; then echo "the program's package holds the browser"; exit 1; fi
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 xdg-utils qt6-qpa-plugins; do
  grep -q "$d" <<<"$depends" || { echo "the package does not depend on $d: $depends"; exit 1; }
done
if grep -q webengine <<<"$depends"; then echo "the program's package needs the web engine: $depends"; exit 1; fi
[ "$(dpkg-deb -f "$deb" Recommends)" = z8p-phonebook-browser ] || { echo "the browser is not recommended"; exit 1; }
browser_depends=$(dpkg-deb -f "$browser_deb" Depends)
for d in libqt6webenginewidgets6 "z8p-phonebook (= 1.2.0)"; do
  grep -qF "$d" <<<"$browser_depends" || { echo "the browser's package does not depend on $d: $browser_depends"; exit 1; }
done

# Debian's own checker: no error, no warning (information tags are listed in
# the release notes); and the hardening Debian builds get.
if command -v lintian >/dev/null; then
  for d in "$deb" "$browser_deb"; do
    report=$(lintian --tag-display-limit 0 "$d" 2>&1 | grep -v 'root privileges' || true)
    if grep -qE '^(E|W): ' <<<"$report"; then echo "lintian: $report"; exit 1; fi
  done
fi
x="$root/x"; mkdir -p "$x"; dpkg-deb -x "$deb" "$x"; dpkg-deb -x "$browser_deb" "$x"
if command -v hardening-check >/dev/null; then
  for b in "$x"/usr/bin/* "$x"/usr/lib/*/z8p-phonebook/*.so; do
    hardening-check -q --nocfprotection --nofortify "$b" || { echo "not hardened: $b"; exit 1; }
  done
  # The binary that calls fortifiable functions calls their checked forms.
  hardening-check -q --nocfprotection "$x/usr/bin/z8p-phonebook-tool" || exit 1
fi
# Control-flow protection: Debian 12's start files carry no CET note, so no
# binary linked there is marked; the code itself is, branch targets begin
# with endbr64 (a binary built without it has a handful, from those files).
for b in "$x"/usr/bin/* "$x"/usr/lib/*/z8p-phonebook/*.so; do
  n=$(objdump -d --no-show-raw-insn "$b" | grep -c endbr64 || true)
  [ "$n" -gt 10 ] || { echo "not built with -fcf-protection: $b ($n branch targets marked)"; exit 1; }
done
# Stack clash protection shows only in functions with large frames; every
# compilation of the release build has it, and the control-flow flag.
if grep -q '"command"' "$build/compile_commands.json"; then
  missing=$(grep '"command"' "$build/compile_commands.json" | grep -v -- '-fstack-clash-protection' | grep -c -- ' -O' || true)
  [ "$missing" -eq 0 ] || { echo "$missing compilations without -fstack-clash-protection"; exit 1; }
  missing=$(grep '"command"' "$build/compile_commands.json" | grep -v -- '-fcf-protection' | grep -c -- ' -O' || true)
  [ "$missing" -eq 0 ] || { echo "$missing compilations without -fcf-protection"; exit 1; }
fi

# --help and --version are answered before any window, display or file:
# without a display, in a folder that stays empty.
mkdir -p "$root/here"
for p in z8p-phonebook z8p-phonebook-desktop z8p-phonebook-tool; do
  for o in --version --help; do
    status=0
    out=$(cd "$root/here" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$root/here-home" \
          XDG_DATA_HOME="$root/here-data" "$x/usr/bin/$p" "$o" 2>&1) || status=$?
    [ "$status" -eq 0 ] || { echo "$p $o: exit $status: $out"; exit 1; }
    if [ "$o" = --version ]; then
      [ "$out" = "$p 1.2.0" ] || { echo "$p --version says: $out"; exit 1; }
    else
      grep -q "^Usage: $p\|^usage: $p" <<<"$out" || { echo "$p --help says: $out"; exit 1; }
    fi
  done
done
[ -z "$(ls -A "$root/here")" ] || { echo "--help or --version made files: $(ls -A "$root/here")"; exit 1; }
[ ! -e "$root/here-data" ] && [ ! -e "$root/here-home" ] || { echo "--help or --version made a folder"; exit 1; }

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
# Files that hold contacts are the user's alone, whatever the umask: as
# root (a test machine), another account is tried for real.
chmod 755 "$root"   # others may pass through, as through a home folder
mkdir -p "$root/shared" && chmod 755 "$root/shared"
printf 'First Name,Last Name\r\nAnn,Lee\r\n' > "$root/shared/in.csv"
(cd "$root/shared" && umask 022 && HOME="$root/home-x" "$x/usr/bin/z8p-phonebook-tool" import in.csv --new >/dev/null &&
  HOME="$root/home-x" "$x/usr/bin/z8p-phonebook-tool" export out.vcf >/dev/null)
for f in DravikBase.z8B out.vcf; do
  [ "$(stat -c %a "$root/shared/$f")" = 600 ] || { echo "$f is readable by others under umask 022"; exit 1; }
  if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
    if setpriv --reuid=65534 --regid=65534 --clear-groups cat "$root/shared/$f" >/dev/null 2>&1; then
      echo "another account could read $f"; exit 1
    fi
  fi
done

# A data folder an earlier version left readable by others is made private.
chmod 755 "$root/data/z8p-phonebook"
XDG_DATA_HOME="$root/data" QT_QPA_PLATFORM=offscreen timeout 5 "$root/dest/usr/bin/z8p-phonebook-desktop" \
  >/dev/null 2>&1 || true
[ "$(stat -c %a "$root/data/z8p-phonebook")" = 700 ] || { echo "an existing data folder was left open to others"; exit 1; }
mkdir -p "$root/home"
status=0
HOME="$root/home" XDG_DATA_HOME=relative/path QT_QPA_PLATFORM=offscreen timeout 5 "$root/dest/usr/bin/z8p-phonebook-desktop" \
  >/dev/null 2>&1 || status=$?
[ -f "$root/home/.local/share/z8p-phonebook/DravikBase.z8B" ] || { echo "a relative XDG_DATA_HOME was used"; exit 1; }
echo "install, package and launcher: all checks passed"
