#!/usr/bin/env bash
# Checks the Windows side of the program on this machine (Debian 12, as root):
#   1. the Windows workflow, read statically (packaging/windows/check_workflow.py):
#      its steps, the vcpkg path, the toolset, the triplet and its cache, and
#      the deployed file list (the C++ runtime, qoffscreen.dll, the zh_CN
#      catalogues); each undone fix in a copy of it must be caught;
#   2. packaging/windows/stage.py, the icon, and the NSIS installer compiled
#      against a stub layout;
#   3. libpsl cross-built for Windows from Debian's source package (builtin
#      list, no IDNA library), and CMake configured for Windows with pkg-config
#      out of reach;
#   4. the Qt-free core and its check program vqcheck.exe cross-built with
#      mingw-w64 (with libpsl), and vqcheck.exe passing under Wine;
#   5. the installer run under Wine: it installs the stub layout, and its
#      uninstaller removes that and leaves the user's files.
# Ends with the line "N passed, N failed"; exits 1 on any failure, and 77 (a
# skip) when a tool is missing with --no-install or Wine cannot start.
#
# Options: --no-install   do not apt-get the tools (the test suite's mode)
#          --build-dir D  the cross-build directory (default: build/windows)
#          --jobs N       parallel compile jobs (default: all cores)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${BUILD_DIR:-$root/build}/windows"
install=1
jobs=$(nproc)
while [ $# -gt 0 ]; do
  case "$1" in
    --no-install) install=0 ;;
    --build-dir) build="$2"; shift ;;
    --jobs) jobs="$2"; shift ;;
    *) echo "windows-check.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

wine=${VQ_WINE:-/usr/lib/wine/wine64}  # the loader of Debian's wine64, not on the PATH
wineserver=/usr/lib/wine/wineserver64
cxx=x86_64-w64-mingw32-g++-posix
cc=x86_64-w64-mingw32-gcc-posix
# A skip, unless a check has failed already.
skip() {
  echo "SKIPPED: $*"
  [ "${failed:-0}" = 0 ] && exit 77
  echo "${passed:-0} passed, $failed failed"
  exit 1
}

# ---- tools -------------------------------------------------------------------
pkgs=(g++-mingw-w64-x86-64-posix wine64 nsis python3-yaml cmake ninja-build)
# Wanted, not needed: the public suffix list for libpsl (without it, the core
# is built without libpsl).
wanted=(publicsuffix)
missing=()
for p in "${pkgs[@]}" "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ "$install" = 0 ] && [ ${#missing[@]} -gt 0 ] && [ "${missing[*]}" = "${wanted[*]}" ] && missing=()
if [ ${#missing[@]} -gt 0 ]; then
  [ "$install" = 1 ] || skip "not installed: ${missing[*]} (scripts/deps.sh installs them)"
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq && $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
    { echo "windows-check.sh: cannot install ${missing[*]}" >&2; exit 1; }
fi
[ -x "$wine" ] || skip "no $wine"
command -v "$cxx" >/dev/null || skip "no $cxx"

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "ok: $*"; }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }
tmp=$(mktemp -d)
cleanup() {
  [ -n "${WINEPREFIX:-}" ] && "$wineserver" -k >/dev/null 2>&1
  rm -rf "$tmp"
}
trap cleanup EXIT

# ---- the workflow, read statically --------------------------------------------
win="$root/packaging/windows"
if out=$(python3 "$win/check_workflow.py" "$root" 2>&1); then
  pass "the workflow .github/workflows/windows.yml: steps, vcpkg, toolset, triplet, cache and deployed files"
else
  fail "the workflow .github/workflows/windows.yml: $out"
fi
# Each fix undone in a copy must be caught: "file|sed script|what is undone".
mutants=(
  'wf|s/\& "\$env:VCPKG_INSTALLATION_ROOT\\vcpkg.exe" install/vcpkg install/|the bare vcpkg from the PATH'
  "wf|/toolset:/d|the toolset left to the image"
  "wf|s/VCPKG_TRIPLET: .*/VCPKG_TRIPLET: x64-windows/|a triplet that builds debug too"
  "wf|/uses: actions\/cache@/d|no binary cache"
  "wf|s/--no-compiler-runtime/--compiler-runtime/|vc_redist.x64.exe instead of the CRT DLLs"
  "wf|/Microsoft.VC14\*.CRT/d|no CRT DLLs"
  "wf|/qoffscreen.dll/d|no offscreen platform"
  "wf|s/qtbase_zh_CN.qm/qt_zh_CN.qm/|the merged catalogue the program does not load"
  "wf|/zh-CN.pak/d|no Chinese browser texts"
  "wf|/required-files.txt/d|the stage not checked"
  "wf|/DUNINSTALL_LIST/d|no uninstall list"
  "req|/^msvcp140.dll/d|the list without msvcp140.dll"
  "req|/qoffscreen/d|the list without qoffscreen.dll"
)
missed=()
for m in "${mutants[@]}"; do
  IFS='|' read -r which script what <<<"$m"
  copy="$tmp/mutant"
  rm -rf "$copy"
  mkdir -p "$copy/.github/workflows" "$copy/packaging"
  cp "$root/.github/workflows/windows.yml" "$copy/.github/workflows/"
  cp -r "$win" "$copy/packaging/windows"
  target="$copy/.github/workflows/windows.yml"
  [ "$which" = req ] && target="$copy/packaging/windows/required-files.txt"
  sed -i -e "$script" "$target"
  if cmp -s "$target" "${target/#$copy/$root}"; then
    missed+=("$what (the edit did not apply)")
  elif python3 "$win/check_workflow.py" "$copy" >/dev/null 2>&1; then
    missed+=("$what")
  fi
done
if [ ${#missed[@]} -eq 0 ]; then
  pass "check_workflow.py catches each of ${#mutants[@]} undone fixes"
else
  fail "check_workflow.py misses: ${missed[*]}"
fi

# ---- the stage, the icon and the installer script ------------------------------
# A stub stage of every file the list requires, plus what windeployqt brings
# beside them in nested folders.
stage="$tmp/stage"
mkdir -p "$stage"
while read -r f; do
  case "$f" in ''|'#'*) continue ;; esac
  f=${f//\*/-5}
  mkdir -p "$stage/$(dirname "$f")"
  echo stub >"$stage/$f"
done <"$win/required-files.txt"
for f in README.md imageformats/qjpeg.dll translations/qtwebengine_locales/en-US.pak \
         resources/qtwebengine_devtools_resources.pak; do
  mkdir -p "$stage/$(dirname "$f")"
  echo stub >"$stage/$f"
done
stage_ok=1
python3 "$win/stage.py" check "$stage" "$win/required-files.txt" >"$tmp/stage.log" 2>&1 || stage_ok=0
mv "$stage/platforms/qoffscreen.dll" "$tmp/"
python3 "$win/stage.py" check "$stage" "$win/required-files.txt" >"$tmp/stage-missing.log" 2>&1 && stage_ok=0
grep -qx "missing from the stage: platforms/qoffscreen.dll" "$tmp/stage-missing.log" || stage_ok=0
mv "$tmp/qoffscreen.dll" "$stage/platforms/"
list="$tmp/uninstall-list.nsh"
python3 "$win/stage.py" uninstall "$stage" "$list" 2>>"$tmp/stage.log" || stage_ok=0
# Every staged file deleted by name, folders removed without /r, inner first.
tr -d '\r' <"$list" | python3 -c '
import sys
lines = [l.strip() for l in sys.stdin.read().lstrip("\ufeff").splitlines()]
assert "Delete \"$INSTDIR\\platforms\\qoffscreen.dll\"" in lines, "qoffscreen deleted by name"
assert not any("/r" in l or "*" in l for l in lines), "no RMDir /r, no wildcard"
assert lines.index("RMDir \"$INSTDIR\\translations\\qtwebengine_locales\"") < lines.index("RMDir \"$INSTDIR\\translations\""), "inner folder first"
' >>"$tmp/stage.log" 2>&1 || stage_ok=0
if [ "$stage_ok" = 1 ] && [ "$(grep -c '^Delete' "$list")" = "$(find "$stage" -type f | wc -l)" ]; then
  pass "packaging/windows/stage.py: the stage checked against the list, the uninstall list made from it"
else
  fail "packaging/windows/stage.py: $(cat "$tmp/stage.log" "$tmp/stage-missing.log")"
fi

# The icon: the sizes Explorer and the Start menu pick from, compiled into
# both executables.
if out=$(python3 - "$win/velqordornavik.ico" 2>&1 <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
reserved, kind, count = struct.unpack_from("<HHH", data)
assert (reserved, kind) == (0, 1), "not an icon"
sizes = {data[6 + 16 * i] or 256 for i in range(count)}
assert {16, 32, 48, 256} <= sizes, "sizes %s" % sorted(sizes)
PY
) && sed -e "s|@VQ_ICON_FILE@|$win/velqordornavik.ico|" -e 's/@PROJECT_VERSION_M[AI][JN]OR@/2/g' \
         -e 's/@[A-Z_]*@/x/g' "$win/velqordornavik.rc.in" >"$tmp/icon.rc" &&
   out=$(x86_64-w64-mingw32-windres "$tmp/icon.rc" -O coff -o "$tmp/icon.o" 2>&1) &&
   grep -q 'packaging/windows/velqordornavik.rc.in' "$root/app/CMakeLists.txt"; then
  pass "the icon (16 to 256 pixels) and its resource script, given to the executables"
else
  fail "the Windows icon: $out"
fi

if out=$(makensis -V2 -WX "-DSTAGE=$stage" "-DUNINSTALL_LIST=$list" "-DOUTFILE=$tmp/velqordornavik-setup.exe" \
           "$win/installer.nsi" 2>&1) && [ -s "$tmp/velqordornavik-setup.exe" ]; then
  pass "packaging/windows/installer.nsi compiles with makensis against a stub layout"
else
  fail "packaging/windows/installer.nsi: $out"
fi

# The program's single-copy name: string() of a path converts through the ANSI
# code page under MSVC, and throws for a folder name outside it.
if grep -n '\.string()' "$root/app/single_copy.cpp" >"$tmp/single.log"; then
  fail "app/single_copy.cpp converts a path with string(): $(cat "$tmp/single.log")"
else
  pass "app/single_copy.cpp hashes the path without the ANSI code page"
fi

# ---- the Qt side against Windows' headers ---------------------------------------
# Qt for Windows is not here, so app/ cannot be built; but every source of it
# must compile for Windows apart from Qt itself. Checked with the cross compiler
# and this machine's Qt headers (syntax only): a POSIX call outside
# app/os_posix.cpp fails here before it fails in the workflow.
qt=$(pkg-config --variable=includedir Qt6Core 2>/dev/null || echo /usr/include/x86_64-linux-gnu/qt6)
mkdir -p "$tmp/generated/app"
sed -e 's/@PROJECT_VERSION@/0/' -e 's/@VQ_APP_ID@/check/' "$root/app/version.h.in" >"$tmp/generated/app/version.h"
qt_flags=(-std=c++20 -fsyntax-only -fPIC -I"$root" -I"$tmp/generated" -I"$qt")
for m in QtCore QtGui QtWidgets QtNetwork QtWebEngineCore QtWebEngineWidgets; do qt_flags+=(-I"$qt/$m"); done
# Tesseract's headers are the same on every system (vcpkg's on Windows).
if [ -d /usr/include/tesseract ]; then
  mkdir -p "$tmp/tesseract-include" && ln -sf /usr/include/tesseract "$tmp/tesseract-include/tesseract"
  qt_flags+=(-I"$tmp/tesseract-include")
fi
app_failures=()
for src in "$root"/app/*.cpp "$root"/app/harvest/*.cpp; do
  [ "$(basename "$src")" = os_posix.cpp ] && continue
  "$cxx" "${qt_flags[@]}" "$src" >"$tmp/app.log" 2>&1 || app_failures+=("${src#"$root"/}: $(grep -m1 error "$tmp/app.log")")
done
if [ ${#app_failures[@]} -eq 0 ]; then
  pass "app/ compiles against Windows' headers (mingw-w64, syntax only)"
else
  fail "app/ for Windows: ${app_failures[*]}"
fi

# ---- libpsl for Windows ---------------------------------------------------------
# Cross-built as a static library from Debian's source package (fetched once
# with apt-get source into the build directory, outside the system's apt
# lists) and the list of Debian's publicsuffix package: the builtin list and
# no IDNA library, which the program needs none of (it looks up lower-case
# UTF-8 names). Some seconds. Without the source or the list the core is
# built without libpsl, as a note, not a failure.
psl="$build/libpsl"
psl_list=${VQ_PSL_LIST:-/usr/share/publicsuffix/public_suffix_list.dat}
psl_why=""
build_libpsl() {
  [ -f "$psl/lib/libpsl.a" ] && [ -f "$psl/include/libpsl.h" ] && return 0
  [ -f "$psl_list" ] || { psl_why="no $psl_list (Debian's publicsuffix)"; return 1; }
  mkdir -p "$psl/src"
  if ! ls "$psl/src"/libpsl_*.orig.tar.* >/dev/null 2>&1; then
    local apt=(-o Dir::Etc::SourceList="$tmp/apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent
               -o Dir::State::Lists="$tmp/apt/lists" -o Dir::Cache="$tmp/apt/cache"
               -o APT::Sandbox::User=root)
    mkdir -p "$tmp/apt/lists/partial" "$tmp/apt/cache/archives/partial"
    echo "deb-src http://deb.debian.org/debian bookworm main" >"$tmp/apt/sources.list"
    (cd "$psl/src" && timeout 300 apt-get -qq "${apt[@]}" update &&
       timeout 300 apt-get -qq "${apt[@]}" source --download-only libpsl) >"$tmp/psl-fetch.log" 2>&1 ||
      { psl_why="apt-get source libpsl failed: $(tail -1 "$tmp/psl-fetch.log")"; return 1; }
  fi
  local tarball version src work="$tmp/psl"
  tarball=$(ls "$psl/src"/libpsl_*.orig.tar.* | head -1)
  version=$(basename "$tarball" | sed -E 's/^libpsl_([0-9.]+)\.orig.*/\1/')
  mkdir -p "$work" "$psl/include" "$psl/lib"
  tar -xf "$tarball" -C "$work" && src=$(echo "$work"/libpsl-*) || { psl_why="cannot unpack $tarball"; return 1; }
  IFS=. read -r major minor patch <<<"$version"
  sed -e "s/@LIBPSL_VERSION@/$version/" -e "s/@LIBPSL_VERSION_MAJOR@/$major/" -e "s/@LIBPSL_VERSION_MINOR@/$minor/" \
      -e "s/@LIBPSL_VERSION_PATCH@/$patch/" -e "s/@LIBPSL_VERSION_NUMBER@/$(printf '0x%02x%02x%02x' "$major" "$minor" "$patch")/" \
      "$src/include/libpsl.h.in" >"$work/libpsl.h"
  printf '#define PACKAGE_VERSION "%s"\n#define ENABLE_BUILTIN 1\n#define HAVE_STDINT_H 1\n#define HAVE_UNISTD_H 1\n#define HAVE_DIRENT_H 1\n' \
    "$version" >"$work/config.h"
  python3 "$src/src/psl-make-dafsa" --output-format=cxx+ "$psl_list" "$work/suffixes_dafsa.h" >"$tmp/psl-build.log" 2>&1 &&
    "$cc" -O2 -DHAVE_CONFIG_H -DBUILDING_PSL -DPSL_STATIC '-DPSL_DISTFILE=""' -I"$work" -c "$src/src/psl.c" \
          -o "$work/psl.o" >>"$tmp/psl-build.log" 2>&1 &&
    "$cc" -O2 -I"$work" -c "$src/src/lookup_string_in_fixed_set.c" -o "$work/lookup.o" >>"$tmp/psl-build.log" 2>&1 &&
    x86_64-w64-mingw32-ar rcs "$psl/lib/libpsl.a" "$work/psl.o" "$work/lookup.o" &&
    cp "$work/libpsl.h" "$psl/include/" ||
    { psl_why="cross-building libpsl $version failed: $(grep -m1 -i error "$tmp/psl-build.log")"; rm -f "$psl/lib/libpsl.a"; return 1; }
}
with_psl=OFF
psl_args=()
if build_libpsl; then
  with_psl=ON
  psl_args=(-DPSL_INCLUDE_DIR="$psl/include" -DPSL_LIBRARY="$psl/lib/libpsl.a")
  pass "libpsl cross-built for Windows ($(basename "$(ls "$psl/src"/libpsl_*.orig.tar.*)" | cut -d_ -f2 | sed 's/\.orig.*//'), static, builtin list)"
else
  echo "note: the core is built without libpsl: $psl_why"
fi

# ---- CMake for Windows without pkg-config ----------------------------------------
# The runner's one pkg-config is Strawberry Perl's .bat, which CMake refuses:
# here pkg-config is put out of reach the same way (a PKG_CONFIG that does not
# exist), which must leave FindPkgConfig empty-handed, and the core must still
# configure with libpsl. Without a cross-built libpsl, a stub stands in (the
# configure only).
nopc="$tmp/no-pkg-config"
printf 'find_package(PkgConfig QUIET)\nif(PKG_CONFIG_FOUND)\n  message(FATAL_ERROR "found ${PKG_CONFIG_EXECUTABLE}")\nendif()\n' \
  >"$tmp/pkgconfig-hidden.cmake"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
configure() {  # DIR, then more options
  local dir="$1"; shift
  PKG_CONFIG="$nopc" cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DVQ_BUILD_APP=OFF -DVQ_BUILD_TESTS=OFF -DPKG_CONFIG_EXECUTABLE="$nopc" \
        "${launcher[@]}" "$@"
}
if ! out=$(PKG_CONFIG="$nopc" cmake -DPKG_CONFIG_EXECUTABLE="$nopc" -P "$tmp/pkgconfig-hidden.cmake" 2>&1); then
  fail "pkg-config could not be put out of reach: $out"
elif [ "$with_psl" = ON ]; then
  started=$(date +%s)
  if configure "$build" -DVQ_WITH_PSL=ON "${psl_args[@]}" >"$tmp/configure.log" 2>&1; then
    pass "CMake configures the core for Windows with libpsl and no pkg-config"
  else
    cat "$tmp/configure.log"; fail "configuring the mingw-w64 build with libpsl and no pkg-config"
    echo "$passed passed, $failed failed"; exit 1
  fi
else
  mkdir -p "$tmp/stub-psl/include" "$tmp/stub-psl/lib"
  echo '/* stand-in */' >"$tmp/stub-psl/include/libpsl.h"
  x86_64-w64-mingw32-ar rcs "$tmp/stub-psl/lib/libpsl.a"
  if configure "$tmp/configure" -DVQ_WITH_PSL=ON -DPSL_INCLUDE_DIR="$tmp/stub-psl/include" \
               -DPSL_LIBRARY="$tmp/stub-psl/lib/libpsl.a" >"$tmp/configure.log" 2>&1; then
    pass "CMake configures the core for Windows with libpsl (a stand-in) and no pkg-config"
  else
    cat "$tmp/configure.log"; fail "configuring for Windows with libpsl and no pkg-config"
  fi
fi

# ---- the core under Wine ----------------------------------------------------
started=$(date +%s)
if [ "$with_psl" = OFF ]; then
  configure "$build" -DVQ_WITH_PSL=OFF >"$tmp/configure.log" 2>&1 ||
    { cat "$tmp/configure.log"; fail "configuring the mingw-w64 build"; echo "$passed passed, $failed failed"; exit 1; }
fi
if ! cmake --build "$build" --target vqcheck -j "$jobs" >"$tmp/build.log" 2>&1; then
  tail -50 "$tmp/build.log"
  fail "cross-building vqcheck.exe"
  echo "$passed passed, $failed failed"
  exit 1
fi
built=$(date +%s)
echo "cross-build: $((built - started)) s"

# Wine's own Windows installation (the prefix) is made afresh in the temporary
# folder (some seconds; it takes about 700 MB, too much to keep in a build
# directory). Without Mono and Gecko, which a console program does not need.
export WINEPREFIX="$tmp/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
if ! timeout 180 "$wine" cmd.exe /c echo wine-ok >"$tmp/probe.log" 2>&1 || ! grep -q wine-ok "$tmp/probe.log"; then
  cat "$tmp/probe.log"
  "$wineserver" -k >/dev/null 2>&1
  skip "Wine cannot start here"
fi
timeout 300 "$wine" "$build/tests/windows/vqcheck.exe" >"$tmp/vqcheck.raw" 2>"$tmp/wine.log"
code=$?
tr -d '\r' <"$tmp/vqcheck.raw" >"$tmp/vqcheck.log"  # the Windows console's CR LF
"$wineserver" -k >/dev/null 2>&1
echo "under Wine: $(($(date +%s) - built)) s"
summary=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$tmp/vqcheck.log" | tail -1)
grep -vE '^[0-9]+ passed, [0-9]+ failed$' "$tmp/vqcheck.log"
if [ -z "$summary" ]; then
  cat "$tmp/wine.log"
  fail "vqcheck.exe ended without its summary (exit code $code)"
else
  passed=$((passed + ${summary%% passed*}))
  n=${summary#*passed, }
  failed=$((failed + ${n%% failed}))
  [ "$code" = 0 ] || [ "${n%% failed}" != 0 ] || fail "vqcheck.exe exit code $code"
fi

# ---- the installer under Wine -----------------------------------------------------
# 64-bit here (Debian's Wine runs no 32-bit programs without wine32), silently
# into a folder (NSIS reads /D= only unquoted: no space in it), then the user's
# files beside the program and in one of its folders, then the uninstaller
# (which copies itself away and returns at once: wineserver -w waits for it).
# Left must be the user's files only.
inst="$WINEPREFIX/drive_c/vq-installed"
inst_ok=1
inst_log="$tmp/installer.log"
makensis -V2 -WX -DTARGET=amd64-unicode "-DSTAGE=$stage" "-DUNINSTALL_LIST=$list" \
         "-DOUTFILE=$tmp/velqordornavik-setup64.exe" "$win/installer.nsi" >"$inst_log" 2>&1
timeout 120 "$wine" "$tmp/velqordornavik-setup64.exe" /S '/D=C:\vq-installed' >>"$inst_log" 2>&1
timeout 120 "$wineserver" -w
( cd "$stage" && find . -type f | sort ) >"$tmp/staged.txt"
( cd "$inst" 2>/dev/null && find . -type f ! -name uninstall.exe | sort ) >"$tmp/installed.txt"
if ! cmp -s "$tmp/staged.txt" "$tmp/installed.txt" || [ ! -f "$inst/uninstall.exe" ]; then
  inst_ok=0
  echo "installed files differ from the stage:" >>"$inst_log"
  diff "$tmp/staged.txt" "$tmp/installed.txt" >>"$inst_log"
fi
mkdir -p "$inst/mine"
for f in mine/notes.txt translations/notes.txt vqdornavik.ini; do echo mine >"$inst/$f"; done
timeout 120 "$wine" 'C:\vq-installed\uninstall.exe' /S >>"$inst_log" 2>&1
timeout 120 "$wineserver" -w
left=$(cd "$inst" 2>/dev/null && find . -type f | sort | tr '\n' ' ')
if [ "$left" != "./mine/notes.txt ./translations/notes.txt ./vqdornavik.ini " ]; then
  inst_ok=0
  echo "left after uninstalling: $left" >>"$inst_log"
fi
"$wineserver" -k >/dev/null 2>&1
if [ "$inst_ok" = 1 ]; then
  pass "the installer installs the stage under Wine, and its uninstaller leaves only the user's files"
else
  fail "the installer under Wine: $(cat "$inst_log")"
fi
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
