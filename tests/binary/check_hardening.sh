#!/bin/sh
# A program that runs as root is hardened, read back from the built binary: a
# position-independent executable, full RELRO, the stack protector and
# optimisation recorded for every object, fortification on, and no import
# through which the environment or a file other than its devices could reach
# it.
# Usage: check_hardening.sh BINARY
set -u
binary=$1
failed=0
fail() {
  echo "FAIL: $binary: $*"
  failed=1
}

readelf -hW "$binary" | grep -Eq 'Type:[[:space:]]+DYN' ||
  fail "not a position-independent executable (ELF type is not DYN)"
readelf -lW "$binary" | grep -q 'GNU_RELRO' ||
  fail "no GNU_RELRO segment"
readelf -dW "$binary" | grep -Eq '\((FLAGS|BIND_NOW)\).*BIND_NOW|\(BIND_NOW\)' ||
  fail "not BIND_NOW, so RELRO is only partial"

# One line per compiled object: what the compiler was told for each.
switches=$(readelf -p .GCC.command.line "$binary" 2>/dev/null | grep -E '^ *\[ *[0-9a-f]+\]')
[ -n "$switches" ] || fail "no recorded compiler switches (.GCC.command.line)"
echo "$switches" | grep -v -- '-fstack-protector-strong' | grep . &&
  fail "objects above compiled without -fstack-protector-strong"
echo "$switches" | grep -Ev -- ' -O[123s]( |$)' | grep . &&
  fail "objects above compiled without optimisation"
nm -D --undefined-only "$binary" | grep -q ' __stack_chk_fail' ||
  fail "does not import __stack_chk_fail: no function is protected"

# GCC records no preprocessor definitions among the switches; clang does. For
# GCC's builds the macro table of the debug information holds the definitions
# of the command line (line 0).
if ! echo "$switches" | grep -Eq -- '-D ?_FORTIFY_SOURCE=[23]( |$)'; then
  readelf --debug-dump=macro "$binary" 2>/dev/null | grep -Eq 'lineno : 0 macro : _FORTIFY_SOURCE [23]$' ||
    fail "not compiled with _FORTIFY_SOURCE=2 or 3 on the command line"
fi

# It opens no file by name through stdio. The one environment variable it
# reads, PRAVELLON_STATE_DIR, is the boot script's state directory, where a
# tuning keeps its journal; getenv is its only way in.
for symbol in secure_getenv fopen fopen64; do
  nm -D --undefined-only "$binary" | grep -Eq " $symbol(@|\$)" && fail "imports $symbol"
done

[ "$failed" -eq 0 ] && echo "ok: $binary"
exit "$failed"
