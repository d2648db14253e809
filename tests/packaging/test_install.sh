#!/usr/bin/env bash
# cmake --install into a temporary prefix, then checks what a desktop and a
# shell user find there. Arguments: the build directory and the application id.
source "$(dirname "$0")/check.sh"
prefix=$tmp/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install" >&2; exit 1; }
version=$("$prefix/bin/vqharvest" --version | sed 's/^vqharvest //')
[ -n "$version" ] || fail "vqharvest --version prints a version"

# ---- the files -----------------------------------------------------------------
for f in bin/velqordornavik bin/vqharvest; do
  check "$f is an executable" test -x "$prefix/$f"
done
desktop=$prefix/share/applications/$id.desktop
metainfo=$prefix/share/metainfo/$id.metainfo.xml
manpage=$prefix/share/man/man1/vqharvest.1.gz
completion=$prefix/share/bash-completion/completions/vqharvest
for f in "$desktop" "$metainfo" "$manpage" "$prefix/share/man/man1/velqordornavik.1.gz" "$completion" \
         "$prefix/share/icons/hicolor/scalable/apps/$id.svg" \
         "$prefix/share/doc/velqordornavik/copyright" "$prefix/share/doc/velqordornavik/changelog.gz"; do
  check "${f#$prefix/} is installed" test -s "$f"
done
for size in 16 32 48 128 256; do
  icon=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
  check "the $size px icon is a $size x $size PNG" grep -q "PNG image data, $size x $size," <(file "$icon")
done
extra=$(cd "$prefix" && find . -type f | grep -vE "^\./(bin/(velqordornavik|vqharvest)|share/(applications|metainfo|man/man1|bash-completion/completions|icons/hicolor/[^/]+/apps|doc/velqordornavik)/[^/]+)$")
check "nothing else is installed (lintian's overrides go into the package only)" test -z "$extra"

# ---- the menu entry ---------------------------------------------------------------
# Hints are allowed: the entry is meant to be in both Network and Utility.
out=$(desktop-file-validate "$desktop" 2>&1); rc=$?
check "desktop-file-validate accepts the entry" test "$rc" -eq 0
check "desktop-file-validate has no error or warning" test -z "$(grep -E ': (error|warning):' <<<"$out")"
entry() { sed -n "s/^$1=//p" "$desktop"; }
check "the entry has a Name" test -n "$(entry Name)"
check "the entry has a Name[zh_CN]" test -n "$(entry 'Name\[zh_CN\]')"
check "the entry has a Comment" test -n "$(entry Comment)"
check "the entry starts the installed program" test -x "$prefix/bin/$(entry Exec | cut -d' ' -f1)"
check "the entry's icon is the installed one" test "$(entry Icon)" = "$id"
check "the entry's categories" test "$(entry Categories)" = "Network;Utility;"

# ---- the AppStream metadata -----------------------------------------------------
check "appstreamcli validate --no-net accepts the metadata" appstreamcli validate --no-net "$metainfo"
check "the metadata's id" grep -q "<id>$id</id>" "$metainfo"
check "the metadata launches the entry" grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo"
check "the metadata's release is the program's version" grep -q "<release version=\"$version\"" "$metainfo"
# A screenshot is an image on the web (AppStream has no local ones); none on a
# reserved example host, which software centres cannot fetch.
check "no screenshot on a placeholder host" test -z "$(grep -E '<image[^>]*>[^<]*\.example[/:<]' "$metainfo")"
check "the metadata has a licence" grep -q "<project_license>" "$metainfo"

# ---- the manual page --------------------------------------------------------------
rendered=$(MANWIDTH=80 man --warnings -l "$manpage" 2>"$tmp/man.err"); rc=$?
check "man -l renders the page" test "$rc" -eq 0
check "man -l reports no problem" test ! -s "$tmp/man.err"
check "the page names the version" grep -q "vqharvest $version" <<<"$rendered"
documented() { grep -qE -- "(^|[^a-z-])$1([^a-z-]|$)" <<<"$rendered"; }
for command in crawl extract merge urls; do
  for option in $(help_options "$prefix/bin/vqharvest" "$command"); do
    check "the page describes $command $option" documented "$option"
  done
done
check "the page describes --version" documented --version

# ---- the bash completion -------------------------------------------------------------
# The completions offered for the last word of a command line.
complete_words() {
  bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _vqharvest vqharvest "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    [ ${#COMPREPLY[@]} -eq 0 ] || printf "%s\n" "${COMPREPLY[@]}"
  ' _ "$completion" "$@" | sort -u
}
if [ -r /usr/share/bash-completion/bash_completion ]; then
  check "the commands complete" test "$(complete_words vqharvest "" | tr '\n' ' ')" = \
    "--help --version crawl extract help merge urls "
  for command in crawl extract merge urls; do
    check "the options of $command complete as its --help lists them" \
      test "$(complete_words vqharvest "$command" --)" = "$(help_options "$prefix/bin/vqharvest" "$command")"
  done
  check "--encoding completes its values" test "$(complete_words vqharvest extract --encoding "" | tr '\n' ' ')" = \
    "auto gbk utf-8 "
  check "--out completes directories only" test "$(cd "$prefix/share" && complete_words vqharvest crawl --out m | tr '\n' ' ')" = \
    "man metainfo "
  check "a number is not completed" test -z "$(complete_words vqharvest crawl --speed "")"
else
  fail "bash-completion is not installed (scripts/deps.sh installs it)"
fi

# ---- where the installed program keeps its files ----------------------------------------
# Its bin/ is writable here (a temporary prefix; and root may write anywhere),
# but an installed copy must use the per-user data directory.
home=$tmp/home
mkdir -p "$home/run" && chmod 700 "$home/run"
HOME=$home XDG_DATA_HOME=$home/data XDG_CACHE_HOME=$home/cache XDG_CONFIG_HOME=$home/config \
  XDG_RUNTIME_DIR=$home/run QT_QPA_PLATFORM=offscreen "$prefix/bin/velqordornavik" >"$tmp/gui.log" 2>&1 &
gui=$!
for _ in $(seq 600); do
  [ -d "$home/data/velqordornavik" ] && break
  kill -0 "$gui" 2>/dev/null || break
  sleep 0.1
done
sleep 1 # a moment longer: anything it writes at start is written
running=no; kill -0 "$gui" 2>/dev/null && running=yes
kill "$gui" 2>/dev/null; wait "$gui" 2>/dev/null
check "the installed program starts" test "$running" = yes || cat "$tmp/gui.log" >&2
check "the installed program uses the per-user data directory" test -d "$home/data/velqordornavik"
check "the installed program writes nothing beside itself" test "$(ls "$prefix/bin" | tr '\n' ' ')" = "velqordornavik vqharvest "

finish
