#!/bin/sh
# Runs a test with a home and XDG folders of its own, made fresh for the run
# and removed after it, so that nothing a test or a program under it writes
# (Qt's file-dialog state, a program's settings, Wine's Start-menu entries)
# reaches the user's own folders or the next run.
#
#   own_home.sh COMMAND [ARGUMENT...]
home=$(mktemp -d "${TMPDIR:-/tmp}/kit-test-home.XXXXXX") || exit 1
trap 'rm -rf "$home"' EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
mkdir -m 700 "$home/config" "$home/cache" "$home/data" "$home/state" "$home/runtime" || exit 1
HOME=$home XDG_CONFIG_HOME=$home/config XDG_CACHE_HOME=$home/cache XDG_DATA_HOME=$home/data \
  XDG_STATE_HOME=$home/state XDG_RUNTIME_DIR=$home/runtime
export HOME XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME XDG_STATE_HOME XDG_RUNTIME_DIR
"$@"
