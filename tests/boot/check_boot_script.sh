#!/bin/sh
# The boot script, as a FreeBSD boot would run it, one row after another on one
# emulated processor and state directory: which boot it is, logger, sleep,
# daemon, lockf and sync are stand-ins in PATH, and pravellon is pravellon-sim
# on a machine file, which each new boot sets back to the firmware's values,
# and FreeBSD's boot time is the file boot. With the file wait, sleep waits
# that many seconds; with spawn, daemon runs the confirmation in the
# background; with slow, pravellon --save takes a second; with tuning,
# pravellon --tune runs that script instead.
#
# check_boot_script.sh DIST/pravellon-boot.in PRAVELLON-SIM
set -u
script_in=$1 sim=$2
dir=$(mktemp -d "${TMPDIR:-/tmp}/pravellon-boot.XXXXXX") || exit 1
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/bin"
sed -e 's,@PRAVELLON_SBIN@,/nonexistent/pravellon,' -e "s,@PRAVELLON_ENV_FILE@,$dir/pravellon.conf," "$script_in" >"$dir/pravellon-boot"
stub() { printf '#!/bin/sh\n%s\n' "$2" >"$dir/bin/$1" && chmod +x "$dir/bin/$1"; }
real_sleep=$(command -v sleep)
stub uname 'echo FreeBSD'
stub sysctl "cat '$dir/boot'"
stub logger "printf '%s %s\\n' \"\$4\" \"\$6\" >>'$dir/log'"
stub sleep "echo \"sleep \$*\" >>'$dir/log'; [ ! -e '$dir/wait' ] || exec '$real_sleep' \"\$(cat '$dir/wait')\""
stub daemon "echo \"daemon \$*\" >>'$dir/log'; [ -e '$dir/spawn' ] || exit 0; pid=\$3; shift 3; \"\$@\" </dev/null >/dev/null 2>&1 & echo \$! >\"\$pid\""
stub lockf 'f=$2; shift 2; exec flock -o "$f" "$@"'
stub sync :
stub pravellon "[ ! -e '$dir/slow' ] || [ \"\$1\" != --save ] || '$real_sleep' 1
[ ! -e '$dir/tuning' ] || [ \"\$1\" != --tune ] || exec sh '$dir/tuning' \"\$@\"
exec '$sim' --machine '$dir/machine' \"\$@\""
export PATH="$dir/bin:$PATH" PRAVELLON="$dir/bin/pravellon" PRAVELLON_STATE_DIR="$dir/state" PRAVELLON_RUN_DIR="$dir"
export PRAVELLON_TOKENS="P1=@1.35 Turbo=0" PRAVELLON_CONFIRM_AFTER=300
"$sim" --preset family10 --print-machine >"$dir/firmware"
cp "$dir/firmware" "$dir/machine"
report=$("$sim" --machine "$dir/machine")
cp "$dir/firmware" "$dir/applied" && "$sim" --machine "$dir/applied" $PRAVELLON_TOKENS
applied=$("$sim" --machine "$dir/applied")
failed=0 boot=

# The files of the state directory but the lock, with the boot that pending
# and firmware.boot name and what last records.
state() {
	for f in $(ls "$dir/state" 2>/dev/null); do
		case $f in
		lock) ;;
		pending | firmware.boot | last | tuning) printf '%s=%s ' "$f" "$(head -n 1 "$dir/state/$f")" ;;
		*) printf '%s ' "$f" ;;
		esac
	done
}

# row BOOT "ACTION [ARGUMENT]" STATUS STATE LOG: the status, the state directory
# afterwards, and the start of the run's log lines, one per line.
row() {
	[ "$1" = "$boot" ] || { cp "$dir/firmware" "$dir/machine" && rm -f "$dir/pravellon.boot" && echo "$1" >"$dir/boot"; }
	boot=$1
	: >"$dir/log"
	sh "$dir/pravellon-boot" $2 >"$dir/out" 2>&1
	status=$? got_state=$(state) got_log=$(cat "$dir/log")
	case "$status|$got_state|$got_log" in
	"$3|$4|$5"*) ;;
	*)
		printf 'FAIL: %s %s, %s %s\n  status %s, state %s, log:\n%s\n  output:\n%s\n' "$1" "$2" \
			"$PRAVELLON_TOKENS" "$PRAVELLON_CONFIRM_AFTER" "$status" "$got_state" "$got_log" "$(cat "$dir/out")"
		failed=1
		;;
	esac
}
expect() { # WHAT EXPECTED GOT
	[ "$2" = "$3" ] || { printf 'FAIL: %s:\n%s\ninstead of\n%s\n' "$1" "$3" "$2"; failed=1; }
}
# status_is STATUS LINE: pravellon-boot status, its line a pattern.
status_is() {
	got=$(sh "$dir/pravellon-boot" status 2>&1)
	got_status=$?
	case "$got_status $got" in
	"$1 "$2) ;;
	*) printf 'FAIL: status in %s: %s %s\ninstead of %s %s\n' "$boot" "$got_status" "$got" "$1" "$2" && failed=1 ;;
	esac
}
# The identity of the start that the last row's confirmation confirms.
started() { sed -n 's/^daemon .* confirm //p' "$dir/log"; }

# Without tokens, pravellon's report and no file; on a processor it does not
# support, its error and status 0.
PRAVELLON_TOKENS=""
row boot-A start 0 "" "daemon.notice no settings configured: nothing applied"
expect "the report without tokens" "$report" "$(cat "$dir/out")"
status_is 0 "OK: nothing configured"
cp "$dir/firmware" "$dir/amd" && "$sim" --preset intel --print-machine >"$dir/firmware"
row boot-U start 0 "" "daemon.notice processor not supported: nothing saved or applied"
PRAVELLON_TOKENS="P1=@1.35 Turbo=0"
row boot-U start 2 "failed " "daemon.warning processor not supported: nothing saved or applied"
status_is 2 "CRITICAL: applying the settings failed at * (pravellon status 2)"
mv "$dir/amd" "$dir/firmware" && rm -rf "$dir/state"

# An earlier boot applied the settings and hung.
mkdir "$dir/state" && printf 'boot-A\n2026-12-09 17:00:00 UTC\n' >"$dir/state/pending"
skipped="daemon.warning settings not applied: the boot of 2026-12-09 17:00:00 UTC applied them and did not confirm them; remove $dir/state/pending to apply them again"
row boot-B start 0 "pending=boot-A " "$skipped"
expect "the report after a boot held back" "$report" "$("$sim" --machine "$dir/machine")"
status_is 2 "CRITICAL: held back: the boot of 2026-12-09 17:00:00 UTC applied the settings and did not confirm them; run 'pravellon-boot confirm' or remove $dir/state/pending"
row boot-B resume 0 "pending=boot-A " "$skipped"
row boot-B "confirm 1-1" 0 "pending=boot-A " ""
expect "only this boot's settings confirmed" "" "$(cat "$dir/log")"
row boot-B confirm 0 "last=confirmed " "daemon.notice settings of the boot of 2026-12-09 17:00:00 UTC confirmed by hand"
status_is 0 "OK: applied at the boot of 2026-12-09 17:00:00 UTC, confirmed at 2*"
row boot-B resume 0 "last=confirmed " "daemon.notice settings not applied after resume: not started in this boot"
row boot-B stop 0 "last=confirmed stopped " "daemon.notice nothing to give back"
status_is 1 "WARNING: stopped at 2*: the firmware's settings hold until the next start"
row boot-B resume 0 "last=confirmed stopped " "daemon.notice settings not applied after resume: stopped"

# Boots on the firmware's own settings, saved before anything is applied.
rm -rf "$dir/state"
firmware=$("$sim" --machine "$dir/firmware" --save -)
saved="firmware firmware.boot=boot-C "
row boot-C start 0 "${saved}last=armed pending=boot-C " "daemon.notice applied P1=@1.35 Turbo=0 (pravellon status 0); confirmed after 300 seconds"
expect "the firmware's settings saved" "$firmware" "$(cat "$dir/state/firmware")"
first_start=$(started)
expect "the confirmation started" "daemon -f -p $dir/pravellon-confirm.pid sh $dir/pravellon-boot confirm $first_start" "$(sed -n 2p "$dir/log")"
status_is 0 "OK: applied at the boot of 2*, waiting for confirmation (*s left)"
row boot-C resume 0 "${saved}last=armed pending=boot-C " "daemon.notice applied P1=@1.35 Turbo=0 after resume (pravellon status 0)"
expect "the report after resume" "$applied" "$("$sim" --machine "$dir/machine")"
echo "boot-C, the clock set" >"$dir/boot"
PRAVELLON_TOKENS="P1=@1.3"
row boot-C start 0 "${saved}last=armed pending=boot-C " "daemon.notice applied"
expect "the firmware's settings saved once a boot" "$firmware" "$(cat "$dir/state/firmware")"
second_start=$(started)
row boot-C "confirm $first_start" 0 "${saved}last=armed pending=boot-C " ""
expect "an earlier start's confirmation" "$second_start" "$(sed -n 3p "$dir/state/pending")"
row boot-D start 0 "${saved}last=armed pending=boot-C " "daemon.warning settings not applied"
# The second boot within the confirmation time is held back as well.
row boot-D2 start 0 "${saved}last=armed pending=boot-C " "daemon.warning settings not applied"
status_is 2 "CRITICAL: held back: the boot of 2*"
row boot-C "confirm $second_start" 0 "${saved}last=confirmed " "sleep 300
daemon.notice settings confirmed"
PRAVELLON_TOKENS="P1=@1.35 Turbo=0"
row boot-D start 0 "firmware firmware.boot=boot-D last=armed pending=boot-D " "daemon.notice applied"
row boot-D stop 0 "firmware firmware.boot=boot-D last=armed pending=boot-D stopped " \
	"daemon.notice gave back the firmware's settings saved in $dir/state/firmware (pravellon status 0)"
expect "the report after stop" "$report" "$("$sim" --machine "$dir/machine")"
status_is 1 "WARNING: stopped at *"

# Two starts at once: the second waits, and finds the firmware's settings
# saved.
rm -rf "$dir/state" && touch "$dir/slow" && echo boot-G >"$dir/boot" && rm -f "$dir/pravellon.boot"
cp "$dir/firmware" "$dir/machine" && sh "$dir/pravellon-boot" start 2>/dev/null &
"$real_sleep" 0.5 && sh "$dir/pravellon-boot" start 2>/dev/null
wait && rm "$dir/slow"
expect "the firmware's settings, two starts at once" "$firmware" "$(cat "$dir/state/firmware")"

# A stop within the confirmation time ends the confirmation; one that runs
# all the same confirms nothing, and the next boot is held back.
rm -rf "$dir/state" && touch "$dir/spawn" && echo 2 >"$dir/wait"
row boot-H start 0 "firmware firmware.boot=boot-H last=armed pending=boot-H " "daemon.notice applied"
stopped_start=$(started) && "$real_sleep" 0.5 && waiting=$(cat "$dir/pravellon-confirm.pid")
row boot-H stop 0 "firmware firmware.boot=boot-H last=armed pending=boot-H stopped " "daemon.notice gave back"
"$real_sleep" 0.2 && case $(ps -o stat= -p "$waiting") in '' | Z*) ;; *) echo "FAIL: the confirmation still waits after stop" && failed=1 ;; esac
"$real_sleep" 2 && rm "$dir/spawn" "$dir/wait"
expect "the log after a stop within the confirmation time" "" "$(grep confirmed "$dir/log")"
row boot-H "confirm $stopped_start" 0 "firmware firmware.boot=boot-H last=armed pending=boot-H stopped " ""
row boot-I start 0 "firmware firmware.boot=boot-H last=armed pending=boot-H stopped " "daemon.warning settings not applied"
# As systemd runs it: the confirmation a unit, which a stop stops.
rm -rf "$dir/state"
export PRAVELLON_CONFIRM_UNIT=pravellon-confirm.service
row boot-J start 0 "firmware firmware.boot=boot-J last=armed pending=boot-J " "daemon.notice applied"
expect "no daemon under systemd" "" "$(grep daemon "$dir/log" | grep -v '^daemon\.')"
row boot-J confirm-start 0 "firmware firmware.boot=boot-J last=confirmed " "sleep 300
daemon.notice settings confirmed"
row boot-J start 0 "firmware firmware.boot=boot-J last=armed pending=boot-J " "daemon.notice applied"
row boot-J stop 0 "firmware firmware.boot=boot-J last=armed pending=boot-J stopped " "daemon.notice gave back"
row boot-K start 0 "firmware firmware.boot=boot-J last=armed pending=boot-J stopped " "daemon.warning settings not applied"
unset PRAVELLON_CONFIRM_UNIT

# Settings that pravellon refuses, or that are options, arm and write nothing.
rm -rf "$dir/state"
PRAVELLON_TOKENS="-n P1=@1.35"
row boot-L start 3 "" "daemon.warning settings not applied: '-n' is an option, not a setting"
PRAVELLON_TOKENS="P1=@1.35 Trubo=0"
row boot-L start 3 "failed " "daemon.warning settings not applied: pravellon refuses P1=@1.35 Trubo=0 (pravellon status 3): ERROR: invalid parameter Trubo=0"
expect "the report after settings refused" "$report" "$("$sim" --machine "$dir/machine")"
status_is 2 "CRITICAL: applying the settings failed at 2* (pravellon status 3)"
PRAVELLON_STATE_DIR=$dir/out/state row boot-L start 1 "failed " "daemon.warning nothing done by start: cannot write $dir/out/state"

rm -rf "$dir/state"
PRAVELLON_TOKENS="P1=@1.35 Turbo=0" PRAVELLON_CONFIRM_AFTER=0
row boot-E start 0 "firmware firmware.boot=boot-E last=applied " "daemon.notice applied P1=@1.35 Turbo=0 (pravellon status 0); no confirmation"
status_is 0 "OK: applied at the boot of 2*, unconfirmed: the boot guard is off"
PRAVELLON_CONFIRM_AFTER=60
echo "fail wrmsr 0xc0010065" >>"$dir/firmware"
row boot-F start 254 "failed firmware firmware.boot=boot-F last=applied pending=boot-F " \
	"daemon.warning applying P1=@1.35 Turbo=0 failed (pravellon status 254): pravellon-sim: ioctl(CPUCTL_WRMSR)"
status_is 2 "CRITICAL: applying the settings failed at 2* (pravellon status 254)"
PRAVELLON_STATE_DIR=$dir/out status_is 3 "UNKNOWN: cannot read $dir/out"

# A start after a stop lets resume apply again; the confirmation waits the
# time configured.
"$sim" --preset family10 --print-machine >"$dir/firmware"
rm -rf "$dir/state"
saved="firmware firmware.boot=boot-G "
row boot-G start 0 "${saved}last=armed pending=boot-G " "daemon.notice applied P1=@1.35 Turbo=0 (pravellon status 0); confirmed after 60 seconds"
row boot-G "confirm $(started)" 0 "${saved}last=confirmed " "sleep 60
daemon.notice settings confirmed"
row boot-G stop 0 "${saved}last=confirmed stopped " "daemon.notice gave back"
row boot-G start 0 "${saved}last=armed pending=boot-G " "daemon.notice applied"
cp "$dir/firmware" "$dir/machine"
row boot-G resume 0 "${saved}last=armed pending=boot-G " "daemon.notice applied P1=@1.35 Turbo=0 after resume (pravellon status 0)"
expect "the report after stop, start and resume" "$applied" "$("$sim" --machine "$dir/machine")"

# Two nodes whose settings differ get each its own back; a firmware file of
# an older version, tokens, is still given back; a saved file as the settings
# applies on the processor it was saved on and is refused on another.
"$sim" --preset family15-g34 --print-machine >"$dir/firmware"
rm -rf "$dir/state"
row boot-N start 0 "${saved%boot-G }boot-N last=armed pending=boot-N " "daemon.notice applied"
row boot-N stop 0 "${saved%boot-G }boot-N last=armed pending=boot-N stopped " "daemon.notice gave back the firmware's settings saved in"
expect "every register given back" "$("$sim" --machine "$dir/firmware" --save -)" "$("$sim" --machine "$dir/machine" --save -)"
"$sim" --machine "$dir/firmware" --tokens >"$dir/state/firmware" 2>/dev/null
row boot-N stop 0 "${saved%boot-G }boot-N last=armed pending=boot-N stopped " "daemon.notice gave back the firmware's settings: P0="
cp "$dir/firmware" "$dir/tuned" && "$sim" --machine "$dir/tuned" P1=@1.3 >/dev/null 2>&1 && "$sim" --machine "$dir/tuned" --save "$dir/tuned.settings"
PRAVELLON_TOKENS=$dir/tuned.settings
rm -rf "$dir/state"
row boot-P start 0 "${saved%boot-G }boot-P last=armed pending=boot-P " "daemon.notice applied $dir/tuned.settings (pravellon status 0)"
expect "the saved settings applied" "$(cat "$dir/tuned.settings")" "$("$sim" --machine "$dir/machine" --save -)"
"$sim" --preset family10-2socket --print-machine >"$dir/firmware"
rm -rf "$dir/state"
row boot-Q start 3 "failed " "daemon.warning settings not applied: pravellon refuses $dir/tuned.settings (pravellon status 3): ERROR: $dir/tuned.settings was saved on AMD family 0x15"
PRAVELLON_TOKENS="P1=@1.35 Turbo=0"
"$sim" --preset family10 --print-machine >"$dir/firmware"

# A tuning that hangs at a step leaves its marker: the boots after apply
# nothing until it is resumed. One that pravellon ends itself, after giving
# its settings back, removes it.
rm -rf "$dir/state"
tuning() { printf '%s\n' "$1" >"$dir/tuning"; }
tuning "echo \"pravellon \$*\" >>'$dir/log'; '$sim' --machine '$dir/machine' --save '$dir/state/tune-saved'
printf 'pravellon tuning journal 1\nsaved: $dir/state/tune-saved\nP2 1.2125 testing\n' >'$dir/state/tune'; kill -KILL \$\$"
row boot-T "tune --seconds 0" 137 "tune tune-saved tuning=boot-T " "daemon.notice tuning started: pravellon --tune --seconds 0
pravellon --tune --seconds 0
daemon.warning tuning: pravellon ended by signal 9; gave back the settings saved in $dir/state/tune-saved (pravellon status 0); run 'pravellon-boot tune --resume'"
status_is 2 "CRITICAL: tuning interrupted: P2 at 1.2125V did not finish; run 'pravellon-boot tune --resume'"
hung="tuning: P2 at 1.2125V hung the machine; run 'pravellon-boot tune --resume'"
row boot-U start 0 "tune tune-saved tuning=boot-T " "daemon.warning $hung"
expect "the report after a tuning hung" "$report" "$("$sim" --machine "$dir/machine")"
status_is 2 "CRITICAL: tuning interrupted: P2 at 1.2125V hung the machine; run 'pravellon-boot tune --resume'"
row boot-U resume 0 "tune tune-saved tuning=boot-T " "daemon.warning settings not applied after resume: the tuning of 2"
row boot-U "tune --seconds 0" 3 "tune tune-saved tuning=boot-T " ""
expect "a fresh tuning over one that hung" "tuning not started: P2 at 1.2125V hung the machine; run 'pravellon-boot tune --resume', or remove $dir/state/tuning to start again" "$(cat "$dir/out")"
PRAVELLON_TOKENS="" row boot-V start 0 "tune tune-saved tuning=boot-T " "daemon.warning $hung"
echo "P2 1.2125 failed: hung" >>"$dir/state/tune" && tuning 'echo "pravellon $*" >>"$PRAVELLON_RUN_DIR/log"'
row boot-V start 0 "tune tune-saved tuning=boot-T " "daemon.warning tuning: the run stopped after 'P2 1.2125 failed: hung' in $dir/state/tune"
row boot-V "tune --resume" 0 "tune tune-saved " "daemon.notice tuning started: pravellon --tune --resume
pravellon --tune --resume
daemon.notice tuning ended (pravellon status 0)"
PRAVELLON_TOKENS="" status_is 0 "OK: nothing configured"
# While one runs in this boot: no start applies over it, no stop gives back
# under it, nor a second tuning.
tuning "echo 'P1 1.3 testing' >>'$dir/state/tune'; while [ ! -e '$dir/go' ]; do '$real_sleep' 0.1; done; kill -TERM \$\$"
sh "$dir/pravellon-boot" tune >/dev/null 2>&1 &
for i in $(seq 50); do [ "$(tail -n 1 "$dir/state/tune")" != "P1 1.3 testing" ] && kill -0 $! 2>/dev/null && "$real_sleep" 0.1; done
row boot-V start 0 "tune tune-saved tuning=boot-V " "daemon.warning settings not applied: a tuning runs since 2"
status_is 1 "WARNING: tuning since 2*, testing P1 at 1.3V"
row boot-V "tune --resume" 3 "tune tune-saved tuning=boot-V " ""
row boot-V stop 1 "tune tune-saved tuning=boot-V " "daemon.warning nothing done by stop: a tuning runs since 2"
touch "$dir/go" && wait $!
expect "the status and state once pravellon gave back and ended" "143 tune tune-saved " "$? $(state)"
rm -f "$dir/tuning" "$dir/go"
rm -rf "$dir/state" && mkdir "$dir/state" && printf 'boot-A\n2026-12-09 17:00:00 UTC\n' >"$dir/state/pending"
row boot-V tune 3 "pending=boot-A " ""
expect "a tuning while settings are held back" "tuning not started: the settings applied at the boot of 2026-12-09 17:00:00 UTC are not confirmed ($dir/state/pending stands): tune once they are, or after 'pravellon-boot confirm'" "$(cat "$dir/out")"

# pravellon-sim's tuning: a step that hangs the machine, the boot after it,
# which applies nothing, and the resume find what a run without the hang finds.
rm -rf "$dir/state"
options="--pstates 2-4 --seconds 0 --margin 0.0375"
stability() { "$sim" --preset family10 --print-machine && printf 'stable P4 0.9 hangs 0.8\nstable P3 1.0 hangs 0.9\nstable P2 1.2 hangs %s\n' "$1"; }
stability 1.1 >"$dir/firmware"
row boot-W "tune $options" 0 "tune tune-saved " "daemon.notice tuning started"
without_hang=$(cat "$dir/out")
rm -rf "$dir/state" && stability 1.2 >"$dir/firmware"
row boot-X "tune $options" 137 "tune tune-saved tuning=boot-X " "daemon.notice tuning started: pravellon --tune $options
daemon.warning tuning: pravellon ended by signal 9; gave back the settings saved in $dir/state/tune-saved (pravellon status 0)"
row boot-Y start 0 "tune tune-saved tuning=boot-X " "daemon.warning tuning: P2 at 1.1875V hung the machine; run 'pravellon-boot tune --resume'"
expect "the machine after the boot that followed a hang" "$(cat "$dir/firmware")" "$(cat "$dir/machine")"
row boot-Y "tune --resume" 0 "tune tune-saved " "daemon.notice tuning started: pravellon --tune --resume
daemon.notice tuning ended (pravellon status 0)"
expect "the results after a hang and a resume" "$without_hang" "$(cat "$dir/out")"
"$sim" --preset family10 --print-machine >"$dir/firmware"

# pravellon's own give-back failed: the script gives the settings back once more.
rm -rf "$dir/state"
tuning "'$sim' --machine '$dir/machine' --save '$dir/state/tune-saved' && '$sim' --machine '$dir/machine' P1=@1.3 >/dev/null
printf 'pravellon tuning journal 1\nsaved: $dir/state/tune-saved\nP1 1.3 testing\nended: giving the saved settings back failed: x\n' >'$dir/state/tune'; exit 254"
row boot-Z tune 254 "tune tune-saved " "daemon.notice tuning started: pravellon --tune 
daemon.notice tuning ended (pravellon status 254)
daemon.warning tuning: pravellon could not give its saved settings back; gave back the settings saved in $dir/state/tune-saved (pravellon status 0)"
expect "the machine after a give-back that pravellon could not do" "$("$sim" --machine "$dir/firmware" --save -)" "$("$sim" --machine "$dir/machine" --save -)"
rm -f "$dir/tuning"

# Linux tells its boots apart by the kernel's boot identity.
if [ -r /proc/sys/kernel/random/boot_id ]; then
	stub uname 'echo Linux'
	linux=$(cat /proc/sys/kernel/random/boot_id)
	rm -rf "$dir/state"
	row boot-L start 0 "firmware firmware.boot=$linux last=armed pending=$linux " "daemon.notice applied P1=@1.35 Turbo=0 (pravellon status 0)"
	stub uname 'echo FreeBSD'
fi
exit $failed
