#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks that every desktop
# file is there and valid: the launcher, the MIME type (by name in any case
# and by content), the icons, the AppStream data and the manual pages.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
id=org.quolvane.Quolvane
for f in bin/quolvane bin/quolvane-cli share/quolvane/Applis.dat share/quolvane/lang/FR.dic share/quolvane/lang/US.dic \
         share/applications/$id.desktop share/mime/packages/$id.xml share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/$id.svg share/man/man1/quolvane.1 share/man/man1/quolvane-cli.1; do
  [ -s "$prefix/$f" ] || { echo "missing: $f" >&2; exit 1; }
done
for size in 16 24 32 48 64 128 256; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
  [ "$(file -b "$png" | grep -o "$size x $size")" = "$size x $size" ] || { echo "bad icon: $png" >&2; exit 1; }
done
desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >/dev/null
man -l "$prefix/share/man/man1/quolvane-cli.1" 2>&1 >/dev/null | (! grep .)

# The MIME type: a catalog named in capitals and one renamed are both known.
update-mime-database "$prefix/share/mime" >/dev/null 2>&1
work=$prefix/work
mkdir -p "$work/in"
echo x > "$work/in/a.txt"
"$prefix/bin/quolvane-cli" --settings "$work/s.ini" scan "$work/DISCS.QVD" "$work/in" --name In --no-applications >/dev/null
cp "$work/DISCS.QVD" "$work/renamed.dat"
printf 'not a catalog' > "$work/other.qvd.txt"
type_of() { XDG_DATA_DIRS="$prefix/share" XDG_DATA_HOME=/nonexistent gio info -a standard::content-type "$1" | sed -n 's/.*content-type: //p'; }
[ "$(type_of "$work/DISCS.QVD")" = application/x-quolvane-catalog ]
[ "$(type_of "$work/renamed.dat")" = application/x-quolvane-catalog ]
[ "$(type_of "$work/other.qvd.txt")" != application/x-quolvane-catalog ]
echo "install: ok"
