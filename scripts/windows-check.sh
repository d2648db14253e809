#!/usr/bin/env bash
# Checks the Windows side of the program on this machine (Debian 12, as root):
#   1. the Windows workflow's YAML parses and has the expected steps;
#   2. the NSIS installer script compiles (makensis) against a stub layout;
#   3. the Qt-free core and its check program vqcheck.exe cross-build with
#      mingw-w64, and vqcheck.exe passes under Wine.
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
# A skip, unless a check has failed already.
skip() {
  echo "SKIPPED: $*"
  [ "${failed:-0}" = 0 ] && exit 77
  echo "${passed:-0} passed, $failed failed"
  exit 1
}

# ---- tools -------------------------------------------------------------------
pkgs=(g++-mingw-w64-x86-64-posix wine64 nsis python3-yaml cmake ninja-build)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
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

# ---- the workflow -----------------------------------------------------------
if out=$(python3 - "$root/.github/workflows/windows.yml" 2>&1 <<'EOF'
import sys, yaml
doc = yaml.safe_load(open(sys.argv[1], encoding="utf-8"))
jobs = doc["jobs"]
assert len(jobs) == 1, "one job"
job = next(iter(jobs.values()))
assert job["runs-on"] == "windows-latest", "runs on windows-latest"
steps = job["steps"]
uses = [s.get("uses", "") for s in steps]
runs = "\n".join(s.get("run", "") for s in steps)
assert any(u.startswith("actions/checkout@") for u in uses), "checks out"
assert any(u.startswith("ilammy/msvc-dev-cmd@") for u in uses), "MSVC"
qt = [s for s in steps if s.get("uses", "").startswith("jurplel/install-qt-action@")]
assert qt and "qtwebengine" in qt[0]["with"]["modules"], "Qt with WebEngine"
assert "msvc" in qt[0]["with"]["arch"], "Qt for MSVC"
for needle in ("vcpkg install", "libpsl", "cmake --build", "ctest", "windeployqt",
               "makensis", "packaging/windows/installer.nsi"):
    assert needle in runs, needle
assert any(u.startswith("actions/upload-artifact@") for u in uses), "keeps the installer"
# "on" is read as True by YAML 1.1.
assert "push" in (doc.get("on") or doc.get(True)), "runs on push"
EOF
); then
  pass "the workflow .github/workflows/windows.yml parses and has its steps"
else
  fail "the workflow .github/workflows/windows.yml: $out"
fi

# ---- the installer script ---------------------------------------------------
stage="$tmp/stage"
mkdir -p "$stage/platforms" "$stage/resources"
for f in velqordornavik.exe vqharvest.exe Qt6Core.dll psl.dll README.md platforms/qwindows.dll \
         resources/qtwebengine_resources.pak; do
  echo stub > "$stage/$f"
done
if out=$(makensis -V2 -WX "-DSTAGE=$stage" "-DOUTFILE=$tmp/velqordornavik-setup.exe" \
           "$root/packaging/windows/installer.nsi" 2>&1) && [ -s "$tmp/velqordornavik-setup.exe" ]; then
  pass "packaging/windows/installer.nsi compiles with makensis against a stub layout"
else
  fail "packaging/windows/installer.nsi: $out"
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

# ---- the core under Wine ----------------------------------------------------
started=$(date +%s)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DVQ_BUILD_APP=OFF -DVQ_BUILD_TESTS=OFF -DVQ_WITH_PSL=OFF \
        "${launcher[@]}" >"$tmp/configure.log" 2>&1 ||
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
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
