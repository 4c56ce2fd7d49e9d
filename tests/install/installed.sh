#!/usr/bin/env bash
# installed.sh BUILD VERSION: installs the build into a temporary prefix and
# checks what a user gets there: the programs (and not the stand-ins), the
# settings file each way it is found, the shell completion, and the menu
# entry, metadata and service as their validators see them, when installed.
set -euo pipefail
build=$1 version=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
prefix=$root/usr
fail() {
  echo "installed.sh: $*" >&2
  exit 1
}
has() { command -v "$1" >/dev/null; }

cmake --install "$build" --prefix "$prefix" >/dev/null
cli=$prefix/bin/quillstrand-cli
[ -x "$prefix/bin/quillstrand" ] || fail "quillstrand is not installed"
for stand_in in quillstrand-site quillstrand-sieve-client quillstrand-demo-farm; do
  [ ! -e "$prefix/bin/$stand_in" ] || fail "the stand-in $stand_in is installed"
done
for page in quillstrand quillstrand-cli; do
  [ -s "$prefix/share/man/man1/$page.1.gz" ] || fail "no manual page $page(1)"
done
[ "$("$cli" --version)" = "quillstrand v$version" ] || fail "--version says $("$cli" --version)"

# settings_file ENV...: the file that `config` says it uses, run in an empty
# working folder with the environment changed so.
mkdir "$root/work"
settings_file() {
  (cd "$root/work" && env "$@" "$cli" config) | sed -n 's/^Settings file: //p'
}
expect_settings() {
  local expected=$1 found
  shift
  found=$(settings_file "$@")
  [ "$found" = "$expected" ] || fail "with $*: config uses '$found', not '$expected'"
}
expect_settings "$root/xdg/quillstrand/quillstrand.ini" XDG_CONFIG_HOME="$root/xdg"
[ "$(stat -c %a "$root/xdg/quillstrand")" = 700 ] || fail "the settings folder is not the owner's alone"
expect_settings "$root/home/.config/quillstrand/quillstrand.ini" -u XDG_CONFIG_HOME HOME="$root/home"
printf '[Settings]\nMachines=0\n' >"$root/work/quillstrand.ini"
expect_settings quillstrand.ini XDG_CONFIG_HOME="$root/xdg"

# The completion offers the subcommands and a subcommand's options.
completions=/usr/share/bash-completion/bash_completion
if [ -r "$completions" ]; then
  complete_line() {
    bash -c 'source "$1"; source "$2"; shift 2
      COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
      _quillstrand_cli; echo "${COMPREPLY[*]}"' \
      complete "$completions" "$prefix/share/bash-completion/completions/quillstrand-cli" "$@"
  }
  [ "$(complete_line "$cli" ma)" = mark-old ] || fail "completion of 'ma': $(complete_line "$cli" ma)"
  [ "$(complete_line "$cli" --config x.ini status --j)" = --json ] ||
    fail "completion of 'status --j': $(complete_line "$cli" --config x.ini status --j)"
fi

if has desktop-file-validate; then
  desktop-file-validate "$prefix/share/applications/org.example.quillstrand.desktop"
fi
if has appstreamcli; then
  appstreamcli validate --no-net "$prefix/share/metainfo/org.example.quillstrand.metainfo.xml" >/dev/null
fi
if has systemd-analyze; then
  unit=$prefix/lib/systemd/user/quillstrand-watch.service
  grep -qx "ExecStart=$cli --config %h/.config/quillstrand/quillstrand.ini watch" "$unit" ||
    fail "the unit does not start the installed watch: $(grep ExecStart "$unit")"
  # The unit's manual page is looked up too; a user's manager needs a
  # runtime folder, which a CI job has not.
  mkdir "$root/runtime"
  MANPATH=$prefix/share/man XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$root/runtime} \
    systemd-analyze verify --user "$unit"
fi
