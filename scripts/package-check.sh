#!/usr/bin/env bash
# Builds the Debian package of a build folder and checks it: its control
# fields, that every file lies under /usr and belongs to root, unpacked into
# a scratch root the exact list of files, that the programs there run and
# their man pages read cleanly, and what lintian says.
# Usage: package-check.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
rm -rf "$build/package"
(cd "$build" && cpack -G DEB -B package >/dev/null)
deb=$build/package/mandel-explorer_${version}_$(dpkg --print-architecture).deb
app=org.mandelexplorer.MandelExplorer
problems=0
problem() { echo "package-check: $*" >&2; problems=$((problems + 1)); }

# Control fields: name, version, architecture, the maintainer, the summary
# from the AppStream metadata, and library dependencies found by dpkg-shlibdeps.
dpkg-deb --info "$deb"
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = mandel-explorer ] || problem "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || problem "Version is '$(field Version)', the project's is $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || problem "Architecture is '$(field Architecture)'"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || problem "Maintainer '$(field Maintainer)' is not 'Name <address>'"
summary=$(sed -n 's:.*<summary>\(.*\)</summary>.*:\1:p' data/$app.metainfo.xml)
description=$(field Description)
[ "$(head -n1 <<<"$description")" = "$summary" ] || problem "Description does not start with the summary '$summary'"
[ "$(wc -l <<<"$description")" -gt 2 ] || problem "Description has no long text"
depends=$(field Depends)
for library in libc6 libstdc++6 libqt6gui6 libqt6widgets6; do
  [[ ", $depends," == *", $library (>= "*")"* ]] || problem "Depends lacks '$library (>= ...)': $depends"
done

# Contents: everything under /usr, owned by root, nothing writable by others.
contents=$(dpkg-deb --contents "$deb")
echo "$contents"
awk '$6 !~ /^\.\/usr\// && $6 != "./" { print "outside /usr: " $6 }' <<<"$contents" | grep . >&2 && problem "files outside /usr"
awk '$2 != "root/root" { print "owner " $2 ": " $6 }' <<<"$contents" | grep . >&2 && problem "files not owned by root"
awk '$1 ~ /^.{8}w/ { print "writable by all: " $6 }' <<<"$contents" | grep . >&2 && problem "files writable by all"

# Unpacked: exactly these files, the programs executable.
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
expected=(
  usr/bin/mandel-explorer
  usr/bin/mandel-render
  usr/share/applications/$app.desktop
  usr/share/metainfo/$app.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/$app.svg
  usr/share/bash-completion/completions/mandel-explorer
  usr/share/bash-completion/completions/mandel-render
  usr/share/man/man1/mandel-explorer.1.gz
  usr/share/man/man1/mandel-render.1.gz
  usr/share/doc/mandel-explorer/copyright
  usr/share/doc/mandel-explorer/changelog.gz
  usr/share/doc/mandel-explorer/examples/slurm-zoom-video.sh
)
for size in 16 22 24 32 48 64 128 256 512; do
  expected+=("usr/share/icons/hicolor/${size}x$size/apps/$app.png")
done
diff <(printf '%s\n' "${expected[@]}" | LC_ALL=C sort) <(cd "$root" && find . -type f -printf '%P\n' | LC_ALL=C sort) \
  || problem "the unpacked files differ from the list (< expected, > in the package)"
for program in mandel-explorer mandel-render; do
  [ -x "$root/usr/bin/$program" ] || problem "usr/bin/$program is not executable"
  said=$("$root/usr/bin/$program" --version) || problem "usr/bin/$program --version failed"
  [ "$said" = "$program $version" ] || problem "usr/bin/$program --version says '$said'"
  # The page reads without a complaint from man and groff.
  page=$root/usr/share/man/man1/$program.1.gz
  complaints=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$complaints" ] || problem "man $program complains: $complaints"
done
zcat "$root/usr/share/doc/mandel-explorer/changelog.gz" >"$root/changelog"
logged=$(dpkg-parsechangelog -l "$root/changelog" -S Version) || problem "the changelog does not parse"
[ "$logged" = "$version" ] || problem "the changelog's newest version is '$logged'"
"$root/usr/bin/mandel-render" --seed 1 --out "$root/picture.bmp" >/dev/null || problem "mandel-render could not draw"

# Debian's own checker: no errors, no warnings.
if command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$deb" || problem "lintian finds errors or warnings"
else
  echo "package-check: lintian is not installed; skipped its checks" >&2
fi

if [ "$problems" -ne 0 ]; then
  echo "package-check: $deb has $problems problem(s)" >&2
  exit 1
fi
echo "package-check: $deb is sound"
