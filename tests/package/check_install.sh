#!/usr/bin/env bash
# Installs the build into a scratch prefix and packages it as a Debian
# package, then checks that both put each file where its user looks for it:
# the command line in bin/, its manual page where man finds it, the frei0r
# plug-in in lib/frei0r-1/, the Kdenlive effect and the Shotcut filter where
# those editors read them. The manual page, as man shows it from the
# package, must list the commands and options in the very words of
# `fieldrestore --help`.
#   check_install.sh BUILD WORK
set -euo pipefail
build=$1 work=$2
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
files=(bin/fieldrestore lib/frei0r-1/fieldrestore.so share/man/man1/fieldrestore.1.gz
  share/kdenlive/effects/frei0r_fieldrestore.xml
  share/shotcut/qml/filters/fieldrestore/meta.qml share/shotcut/qml/filters/fieldrestore/ui.qml)

cmake --install "$build" --prefix "$work/prefix" >/dev/null
for f in "${files[@]}"; do
  [ -f "$work/prefix/$f" ] || { echo "cmake --install put no $f" >&2; exit 1; }
done

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; exit 1; }
deb=$(echo "$work"/deb/*.deb)
listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in "${files[@]}"; do
  grep -qx "./usr/$f" <<<"$listing" ||
    { echo "the package lacks /usr/$f:" >&2; echo "$listing" >&2; exit 1; }
done

root=$work/root
dpkg-deb -x "$deb" "$root"
page=$(MANPATH=$root/usr/share/man man -w fieldrestore) ||
  { echo "man does not find fieldrestore(1) in the package" >&2; exit 1; }
[ "$page" = "$root/usr/share/man/man1/fieldrestore.1.gz" ] || { echo "man found $page" >&2; exit 1; }
# Word by word, so that line breaks and indents do not count.
words() { tr -s ' \n' '\n\n' | sed '/^$/d'; }
MANWIDTH=100 man -l "$page" 2>"$work/man.err" | sed -n '/^COMMANDS$/,/^[A-Z]/p' | sed '1d;$d' |
  words >"$work/man.words"
if [ -s "$work/man.err" ]; then
  echo "man reports:" >&2
  cat "$work/man.err" >&2
  exit 1
fi
"$root/usr/bin/fieldrestore" --help | grep -v '^usage:' | words >"$work/help.words"
if ! diff -u "$work/help.words" "$work/man.words" >"$work/diff"; then
  echo "fieldrestore(1) and fieldrestore --help differ (word by word):" >&2
  head -n 40 "$work/diff" >&2
  exit 1
fi
echo "package: every file in place; fieldrestore(1) says the $(wc -l <"$work/help.words") words of --help"
