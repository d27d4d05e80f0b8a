#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks that every desktop
# file is there and valid: the launcher, the MIME type (by name in any case
# and by content), the icons, the AppStream data and the manual pages; that
# quolvane-cli(1) names every command and option; and that the installed
# programs stand on their own, with the source and build trees out of reach.
# Usage: check-install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=${2:-}
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

# The manual page names every command and every option of the program.
cli=$prefix/bin/quolvane-cli
page=$(sed 's/\\-/-/g' "$prefix/share/man/man1/quolvane-cli.1")
commands=$("$cli" --help | awk '/^Subcommands:/ {on = 1; next} on && NF {print $1}')
[ -n "$commands" ]
for c in $commands; do
  grep -qE "^\.B[IR]? \"?$c( |\"|$)" <<<"$page" || { echo "quolvane-cli(1) lacks the command $c" >&2; exit 1; }
  for o in $("$cli" "$c" --help | grep -oE '^ +(-[a-z],)?--[a-z-]+' | grep -oE -- '--[a-z-]+' | grep -vx -- --help); do
    grep -qF -- "$o" <<<"$page" || { echo "quolvane-cli(1) lacks $c $o" >&2; exit 1; }
  done
done
for o in --settings --version 130; do
  grep -qF -- "$o" <<<"$page" || { echo "quolvane-cli(1) lacks $o" >&2; exit 1; }
done
[ "$("$cli" --version)" = "quolvane-cli $(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$prefix/share/metainfo/$id.metainfo.xml" | head -1)" ]

# The installed programs on their own: the source and build trees hidden
# (an empty file system mounted over each, in a private mount namespace, so
# nothing on disk moves), a directory scanned with an application that only
# the installed Applis.dat knows.
mkdir -p "$work/media/game"
echo "[sdl]" > "$work/media/game/DOSBOX.CONF"
echo MZ > "$work/media/game/GAME.EXE"
# The installed quolvane-cli with the build and source trees hidden.
hidden_cli() {
  unshare --map-root-user --mount bash -c '
    set -e
    build=$1 source=$2
    shift 2
    for dir in "$build" "$source"; do
      [ -n "$dir" ] || continue
      mount -t tmpfs none "$dir"
      [ -z "$(ls -A "$dir")" ]
    done
    exec "$@"' hidden "$build" "$source" "$cli" --settings "$work/s.ini" "$@"
}
scan_apps() {
  rm -f "$work/apps.qvd"
  hidden_cli scan "$work/apps.qvd" "$work/media" --name Games >/dev/null
  hidden_cli applications "$work/apps.qvd"
}
apps=$(scan_apps)
grep -qF "$(printf '\tDOSBox game\t')" <<<"$apps" || { echo "no application found through the installed Applis.dat: $apps" >&2; exit 1; }
# Without the installed dictionary the same directory is no application, so
# the one above came from it and from nowhere else.
mv "$prefix/share/quolvane/Applis.dat" "$prefix/share/quolvane/Applis.dat.away"
[ -z "$(scan_apps 2>/dev/null)" ] || { echo "an application was found without the installed Applis.dat" >&2; exit 1; }
mv "$prefix/share/quolvane/Applis.dat.away" "$prefix/share/quolvane/Applis.dat"

# Without a display the installed program names the way round it.
message=$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/quolvane" 2>&1 >/dev/null || true)
grep -qF "xvfb-run quolvane" <<<"$message" || { echo "no-display message: $message" >&2; exit 1; }
echo "install: ok"
