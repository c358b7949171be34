# Sourced by the build scripts: a build's progress as a percentage instead of
# its raw lines.

# build_progress LABEL LOG: reads a build's output (Ninja's "[12/345]" or
# Make's "[ 42%]" lines) on standard input, keeps all of it in LOG, and shows
# on standard error "LABEL: 42%" as the build goes: one line rewritten in
# place on a terminal, a line every 5% elsewhere (a CI log).
build_progress() {
  local label=$1 log=$2 line percent shown=-1 fd
  exec {fd}>"$log"
  while IFS= read -r line; do
    printf '%s\n' "$line" >&"$fd"
    if [[ $line =~ ^\[([0-9]+)/([0-9]+)\] ]]; then
      percent=$(( BASH_REMATCH[1] * 100 / BASH_REMATCH[2] ))
    elif [[ $line =~ ^\[\ *([0-9]+)%\] ]]; then
      percent=${BASH_REMATCH[1]}
    else
      continue
    fi
    if [ -t 2 ]; then
      [ "$percent" -ne "$shown" ] && printf '\r%s: %3d%%' "$label" "$percent" >&2
    elif [ $(( percent / 5 )) -ne $(( shown < 0 ? -1 : shown / 5 )) ]; then
      printf '%s: %d%%\n' "$label" "$percent" >&2
    fi
    shown=$percent
  done
  exec {fd}>&-
  if [ -t 2 ] && [ "$shown" -ge 0 ]; then printf '\n' >&2; fi
  return 0
}
