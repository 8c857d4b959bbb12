#!/bin/sh
# What the programs touch in the file system, seen from outside the process:
# strace shows every path given to a file-system call, and apart from what the
# dynamic loader opens each must be one the program is meant to use.
# Usage: check_opened_paths.sh PRAVELLON PRAVELLON_CAPTURE PRAVELLON_SIM
set -u
pravellon=$1
capture=$2
sim=$3
if ! command -v strace >/dev/null; then
  echo "strace is not installed"
  exit 77
fi
# Some sandboxes forbid ptrace altogether; there is nothing to see then.
if ! strace -qq -o /dev/null true 2>/dev/null; then
  echo "strace cannot trace on this machine"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# Traces the command into $work/strace.log.
traced() {
  strace -f -qq -s 4096 -e trace=%file -e signal=none -o "$work/strace.log" "$@"
}

# The paths of the traced calls, one a line. Of execve only the program is a
# path; the rest are its arguments. An empty path names a descriptor already
# open (fstat through newfstatat), whose opening was seen.
paths() {
  sed -E -e 's/^[0-9]+ +//' -e 's/^(execve\("[^"]*").*/\1/' "$work/strace.log" | grep -o '"[^"]*"' | tr -d '"' |
    grep -v '^$'
}

# Fails for each traced path that matches neither the loader's files nor the
# extended regular expression given.
check() {
  what=$1
  allowed=$2
  if ! grep -Eq '^([0-9]+ +)?execve\(' "$work/strace.log"; then
    echo "FAIL: $what: strace saw nothing"
    failed=1
    return
  fi
  loader='^(/etc/ld\.so\.(cache|preload)|(/usr)?/lib(32|64|x32)?/.*\.so(\.[0-9]+)*)$'
  unexpected=$(paths | grep -Ev "$loader" | grep -Ev "$allowed" | sort -u)
  if [ -n "$unexpected" ]; then
    echo "FAIL: $what touched:"
    echo "$unexpected" | sed 's/^/  /'
    failed=1
  else
    echo "ok: $what"
  fi
}

quote() {
  printf '%s' "$1" | sed -e 's/[][\.*^$+?(){}|/]/\\&/g'
}

# The directories above a path, each as an alternative of a regular expression.
ancestors() {
  dir=$(dirname "$1")
  while [ "$dir" != / ] && [ "$dir" != . ]; do
    printf '|%s' "$(quote "$dir")"
    dir=$(dirname "$dir")
  done
}

# pravellon on this machine, whatever its processor: the report, and a token
# it refuses (or never looks at on an unsupported processor); and the capture.
# None of them writes.
devices='^(/dev/cpu/0/cpuid|/dev/cpu/[0-9]+/msr|/sys/devices/system/cpu/(present|online)|/sys/bus/pci/devices/0000:00:1[89a-f]\.[0-7]/config)$'
traced "$pravellon" >/dev/null 2>&1
check "pravellon" "^$(quote "$pravellon")\$|$devices"
traced "$pravellon" P9= >/dev/null 2>&1
check "pravellon P9=" "^$(quote "$pravellon")\$|$devices"
traced "$capture" >/dev/null 2>&1
check "pravellon-capture" "^$(quote "$capture")\$|$devices"

# pravellon-sim applying changes on a machine file: its program, the machine
# file, the directories above it (a save resolves the file's real path), the
# temporary file a save is renamed from, the trace, and /dev/null, which
# stands behind every emulated device descriptor.
machine=$work/machine
trace=$work/trace
"$sim" --preset family15 --print-machine >"$machine" || exit 1
cp "$machine" "$work/machine.before"
sim_allowed="^($(quote "$sim")|$(quote "$machine")(\.saving-.*)?|$(quote "$trace")|/dev/null$(ancestors "$machine"))\$"
if ! traced "$sim" --machine "$machine" --trace "$trace" \
  NB_P0=20@1.15 NB_P1=12 Turbo=0 APM=0 P2=17@1.3 P5=@1.0 >"$work/out" 2>&1; then
  echo "FAIL: pravellon-sim apply run did not succeed:"
  cat "$work/out"
  failed=1
fi
cmp -s "$machine" "$work/machine.before" && { echo "FAIL: pravellon-sim wrote nothing"; failed=1; }
check "pravellon-sim applying changes" "$sim_allowed"
traced "$sim" --machine "$machine" --trace "$trace" >/dev/null 2>&1
check "pravellon-sim report" "$sim_allowed"

exit "$failed"
