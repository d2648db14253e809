# Shared by the packaging tests, sourced first: their arguments (the build
# directory and the application id), a temporary directory removed at the end,
# failure reporting and the help texts' options.
set -uo pipefail
build=$1
id=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); return 1; }
pass() { echo "PASS: $*"; }
check() { # check DESCRIPTION COMMAND...: the command must succeed
  local what=$1; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
}

# The options a vqharvest command's --help names, and --help itself, one a line.
help_options() { # help_options VQHARVEST COMMAND
  { "$1" "$2" --help | grep -oE -- '--[a-z0-9-]+'; echo --help; } | sort -u
}
