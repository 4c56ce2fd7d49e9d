#!/bin/sh
# What help2man reads as the help of quillstrand-cli (named by the variable
# QUILLSTRAND_CLI): its own --help, then the options of every subcommand
# that it lists, each under a heading of its own. A subcommand added to the
# program thereby comes into its manual page by itself.
set -eu
[ "${1:-}" = --help ] || { echo "usage: QUILLSTRAND_CLI=PROGRAM $0 --help" >&2; exit 2; }
cli=$QUILLSTRAND_CLI
"$cli" --help
for subcommand in $("$cli" --help | sed -n '/^Subcommands:/,/^$/s/^  \([a-z][^ ]*\).*/\1/p'); do
  # Its sections after the usage line, less the help option every one has.
  "$cli" "$subcommand" --help | awk -v name="$subcommand" '
    /^Usage:/ { body = 1; next }
    !body || /^  -h,--help / { next }
    /^[A-Z][a-z]*:$/ { heading = substr($0, 1, length($0) - 1) " of " name ":"; next }
    /^$/ { heading = ""; next }
    heading != "" { print ""; print heading; heading = "" }
    { print }'
done
