#!/usr/bin/env bash
# Builds the Debian package from the compiled tree (as scripts/package.sh does,
# into a temporary directory) and checks it with dpkg-deb: its fields, its
# Depends from the linked libraries, its files, and its programs.
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
check "Description" test -n "$(field Description)"

# Depends: the shared libraries the programs link (dpkg-shlibdeps), with
# versions, and the browser engine's helper process, which is not linked.
depends=$(field Depends | tr ',' '\n' | sed 's/^ *//')
echo "Depends:"; sed 's/^/  /' <<<"$depends"
for pattern in '^libc6 \(>= ' '^libstdc\+\+6 \(>= ' '^libqt6core6 \(>= ' '^libqt6widgets6 \(>= ' \
               '^libqt6webenginewidgets6 \(>= ' '^libqt6webenginecore6 \(>= ' '^libicu[0-9]+ \(>= ' \
               '^libpsl5 \(>= ' '^libqt6webenginecore6-bin'; do
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
usr/share/icons/hicolor/128x128/apps/$id.png
usr/share/icons/hicolor/16x16/apps/$id.png
usr/share/icons/hicolor/256x256/apps/$id.png
usr/share/icons/hicolor/32x32/apps/$id.png
usr/share/icons/hicolor/48x48/apps/$id.png
usr/share/icons/hicolor/scalable/apps/$id.svg
usr/share/man/man1/vqharvest.1
usr/share/metainfo/$id.metainfo.xml
EOT
)
check "the package holds exactly the installed files under /usr" test "$files" = "$expected" ||
  diff <(echo "$expected") <(echo "$files") >&2
check "the files belong to root" test -z "$(dpkg-deb -c "$deb" | awk '$2 != "root/root"')"

# ---- the programs -------------------------------------------------------------------------
root=$tmp/root
dpkg-deb -x "$deb" "$root"
for program in velqordornavik vqharvest; do
  check "$program is stripped" grep -q ', stripped' <(file "$root/usr/bin/$program")
done
check "the packaged vqharvest runs" test "$("$root/usr/bin/vqharvest" --version)" = "vqharvest $version"
check "the packaged vqharvest extracts" \
  test "$(printf '传真：0519-88888888\n' | "$root/usr/bin/vqharvest" extract)" = "0519-88888888"
check "the packaged entry starts /usr/bin/velqordornavik" grep -qx "Exec=velqordornavik" \
  "$root/usr/share/applications/$id.desktop"

finish
