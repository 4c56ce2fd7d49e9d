#!/usr/bin/env bash
# man-pages.sh CLI CLI-PAGE WINDOW WINDOW-PAGE: every subcommand and option
# that the programs' --help names (each subcommand's too) is in their page.
set -euo pipefail
missing=0

# The page's words as they read, roff's escaped hyphens and fonts undone.
page_text() { sed 's/\\-/-/g; s/\\f[BIRP]//g' "$1"; }

# The options a --help lists: the names that begin its lines' first column.
options_of() { grep -E '^ +-' | sed -E 's/^ +//; s/  .*//; s/[ =<].*//' | tr ',' '\n' | sed 's/^ *//'; }

# The page is read whole first: grep -q leaves a pipe early, and under
# pipefail the writer's SIGPIPE would read as a word not found.
expect_in() {
  local page=$1 word=$2 text
  text=$(page_text "$page")
  if ! grep -Eq -- "(^|[^a-z-])$word([^a-z-]|\$)" <<<"$text"; then
    echo "man-pages.sh: ${page##*/} does not name $word" >&2
    missing=1
  fi
}

cli=$1 cli_page=$2 window=$3 window_page=$4
for option in $("$cli" --help | options_of); do expect_in "$cli_page" "$option"; done
for subcommand in $("$cli" --help | sed -n '/^Subcommands:/,/^$/s/^  \([a-z][^ ]*\).*/\1/p'); do
  expect_in "$cli_page" "$subcommand"
  for option in $("$cli" "$subcommand" --help | options_of); do expect_in "$cli_page" "$option"; done
done
for option in $("$window" --help | options_of); do expect_in "$window_page" "$option"; done
exit $missing
