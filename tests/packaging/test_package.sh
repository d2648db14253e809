#!/usr/bin/env bash
# Builds the Debian package from the compiled tree (as scripts/package.sh does,
# into a temporary directory) and checks it: lintian finds no error and no
# warning beyond the package's overrides; its fields, its Depends from the
# linked libraries, its files and their modes, its documents (copyright,
# changelog, manual pages) and its programs.
# Arguments: the build directory and the application id.
source "$(dirname "$0")/check.sh"

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp" >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log" >&2
  echo "FAIL: cpack" >&2
  exit 1
fi
debs=("$tmp"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: one .deb expected, found: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}
version=$("$build/app/vqharvest" --version | sed 's/^vqharvest //')
field() { dpkg-deb -f "$deb" "$1"; }

# ---- the fields -----------------------------------------------------------------
check "the file name" test "$(basename "$deb")" = "velqordornavik_${version}_$(dpkg --print-architecture).deb"
check "Package" test "$(field Package)" = velqordornavik
check "Version is the program's version" test "$(field Version)" = "$version"
check "Architecture" test "$(field Architecture)" = "$(dpkg --print-architecture)"
check "Maintainer" test -n "$(field Maintainer)"
check "Section" test "$(field Section)" = net
check "Priority" test "$(field Priority)" = optional
# Description: a synopsis (one short line, no full stop) and a long description.
synopsis=$(field Description | head -n 1)
long=$(field Description | tail -n +2)
check "the synopsis is a phrase of at most 80 characters" \
  grep -qE '^[a-z].{9,79}$' <<<"$synopsis"
check "the synopsis ends without a full stop" grep -qv '\.$' <<<"$synopsis"
check "the long description has several lines" test "$(grep -c . <<<"$long")" -ge 3
check "the long description names the batch command" grep -q vqharvest <<<"$long"

# Depends: the shared libraries the programs link (dpkg-shlibdeps), with
# versions, and the browser engine's helper process, which is not linked.
depends=$(field Depends | tr ',' '\n' | sed 's/^ *//')
echo "Depends:"; sed 's/^/  /' <<<"$depends"
for pattern in '^libc6 \(>= ' '^libstdc\+\+6 \(>= ' '^libqt6core6 \(>= ' '^libqt6widgets6 \(>= ' \
               '^libqt6webenginewidgets6 \(>= ' '^libqt6webenginecore6 \(>= ' '^libicu[0-9]+ \(>= ' \
               '^libpsl5 \(>= ' '^libsqlite3-0 \(>= ' '^libqt6webenginecore6-bin'; do
  check "Depends has $pattern" grep -qE "$pattern" <<<"$depends"
done
check "Depends names each package once" test -z "$(sed 's/ .*//' <<<"$depends" | sort | uniq -d)"
check "Depends names no development package" test -z "$(grep -E -- '-dev( |$)' <<<"$depends")"

# ---- the files --------------------------------------------------------------------------
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./||' | sort)
expected=$(sort <<EOT
usr/bin/velqordornavik
usr/bin/vqharvest
usr/share/applications/$id.desktop
usr/share/bash-completion/completions/vqharvest
usr/share/doc/velqordornavik/changelog.gz
usr/share/doc/velqordornavik/copyright
usr/share/icons/hicolor/128x128/apps/$id.png
usr/share/icons/hicolor/16x16/apps/$id.png
usr/share/icons/hicolor/256x256/apps/$id.png
usr/share/icons/hicolor/32x32/apps/$id.png
usr/share/icons/hicolor/48x48/apps/$id.png
usr/share/icons/hicolor/scalable/apps/$id.svg
usr/share/lintian/overrides/velqordornavik
usr/share/man/man1/velqordornavik.1.gz
usr/share/man/man1/vqharvest.1.gz
usr/share/metainfo/$id.metainfo.xml
EOT
)
check "the package holds exactly the installed files under /usr" test "$files" = "$expected" ||
  diff <(echo "$expected") <(echo "$files") >&2
check "the files belong to root" test -z "$(dpkg-deb -c "$deb" | awk '$2 != "root/root"')"
# Modes: directories and programs rwxr-xr-x, every other file rw-r--r--.
modes=$(dpkg-deb -c "$deb" | awk '{ sub(/^\.\//, "", $6); print $1, $6 }')
check "the directories are rwxr-xr-x" test -z "$(awk '/^d/ && $1 != "drwxr-xr-x"' <<<"$modes")"
check "the programs are rwxr-xr-x" \
  test "$(awk '$1 !~ /^d/ && $2 ~ /^usr\/bin\// { print $1 }' <<<"$modes" | sort -u)" = "-rwxr-xr-x"
check "the other files are rw-r--r--" \
  test -z "$(awk '$1 !~ /^d/ && $2 !~ /^usr\/bin\// && $1 != "-rw-r--r--"' <<<"$modes")"

# ---- the programs -------------------------------------------------------------------------
root=$tmp/root
dpkg-deb -x "$deb" "$root"
for program in velqordornavik vqharvest; do
  check "$program is stripped" grep -q ', stripped' <(file "$root/usr/bin/$program")
  check "$program carries no debug sections" test -z "$(readelf -S -W "$root/usr/bin/$program" | grep -F .debug_)"
done
check "the packaged vqharvest runs" test "$("$root/usr/bin/vqharvest" --version)" = "vqharvest $version"
check "the packaged vqharvest extracts" \
  test "$(printf '传真：0519-88888888\n' | "$root/usr/bin/vqharvest" extract)" = "0519-88888888"
check "the packaged entry starts /usr/bin/velqordornavik" grep -qx "Exec=velqordornavik" \
  "$root/usr/share/applications/$id.desktop"

# ---- the documents ------------------------------------------------------------------------
doc=$root/usr/share/doc/velqordornavik
# gzip -9 without a name or a time stamp: file(1) shows neither ("was NAME",
# "last modified").
for f in "$doc/changelog.gz" "$root"/usr/share/man/man1/*.gz; do
  check "${f#$root/} is gzip -9n" \
    grep -qxE 'gzip compressed data, max compression, from Unix(, original size modulo 2\^32 [0-9]+)?' <(file -b "$f")
done
# The changelog: one entry for this version, by the maintainer, on the release date.
changelog() { dpkg-parsechangelog -l "$tmp/changelog" -S "$1"; }
gunzip -c "$doc/changelog.gz" >"$tmp/changelog"
check "the changelog is for the package" test "$(changelog Source)" = velqordornavik
check "the changelog's entry is this version" test "$(changelog Version)" = "$version"
check "the changelog's entry is by the maintainer" test "$(changelog Maintainer)" = "$(field Maintainer)"
release=$(sed -n 's/.*<release version="[^"]*" date="\([^"]*\)".*/\1/p' "$root/usr/share/metainfo/$id.metainfo.xml")
check "the changelog's date is the AppStream release date (with its weekday)" \
  test "$(changelog Date)" = "$(LC_ALL=C date -u -R -d "$release")"
# The copyright file: machine-readable, the terms of the AppStream metadata for
# the package's own files, and each linked third-party library named.
license=$(sed -n 's/.*<project_license>\(.*\)<\/project_license>.*/\1/p' "$root/usr/share/metainfo/$id.metainfo.xml")
check "the copyright file is machine-readable and complete" \
  python3 "$(dirname "$0")/dep5.py" "$doc/copyright" "$license"
for lib in $(sed 's/ .*//' <<<"$depends" | grep -E '^lib(qt6|icu|psl|sqlite)[a-z0-9]*[0-9](-0)?$'); do
  check "the copyright file names $lib" grep -qw -- "$lib" "$doc/copyright"
done
# The manual pages: render without a warning; the window's page describes its
# files and points to vqharvest(1), and the other way round.
for page in velqordornavik vqharvest; do
  MANWIDTH=80 man --warnings -E UTF-8 -l "$root/usr/share/man/man1/$page.1.gz" >"$tmp/$page.txt" 2>"$tmp/$page.err"
  check "man renders $page.1.gz without a warning" test ! -s "$tmp/$page.err" || cat "$tmp/$page.err" >&2
  check "$page.1 names the version" grep -q "$page $version" "$tmp/$page.txt"
done
for text in 'vqharvest(1)' 'autosave&web.txt' 'autosave&fax.txt' vqdornavik.ini vqwebfaxset.ini \
            vqweblinkok.ini vqweblinkno.ini tray; do
  check "velqordornavik(1) mentions $text" grep -qF -- "$text" "$tmp/velqordornavik.txt"
done
check "vqharvest(1) points to velqordornavik(1)" grep -qF 'velqordornavik(1)' "$tmp/vqharvest.txt"

# ---- lintian ------------------------------------------------------------------------------
# No error and no warning; what the overrides hide is listed, and an override
# that no longer matches anything is a failure too, so the file stays honest.
overrides=$root/usr/share/lintian/overrides/velqordornavik
check "every lintian override has a comment above it" \
  test -z "$(awk '/^#/ { c = 1; next } /^[[:space:]]*$/ { c = 0; next } !c { print } { c = 1 }' "$overrides")"
lintian --display-info --show-overrides --no-tag-display-limit "$deb" >"$tmp/lintian.txt" 2>"$tmp/lintian.err"
rc=$?
echo "lintian:"; sed 's/^/  /' "$tmp/lintian.txt"
check "lintian ran" test "$rc" -le 1 || cat "$tmp/lintian.err" >&2
check "lintian reports no error and no warning" test -z "$(grep -E '^[EW]: ' "$tmp/lintian.txt")"
check "every lintian override is used" test -z "$(grep -E -- '(unused|mismatched)-override' "$tmp/lintian.txt")"

finish
