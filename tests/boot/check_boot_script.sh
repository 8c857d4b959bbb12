#!/bin/sh
# The boot script, as a FreeBSD boot would run it, one row after another on one
# emulated processor and state directory: which boot it is, logger, sleep,
# daemon and sync are stand-ins in PATH, and pravellon is pravellon-sim on a
# machine file, which each new boot sets back to the firmware's values, and
# FreeBSD's boot time is the file boot.
#
# check_boot_script.sh DIST/pravellon-boot.in PRAVELLON-SIM
set -u
script_in=$1 sim=$2
dir=$(mktemp -d "${TMPDIR:-/tmp}/pravellon-boot.XXXXXX") || exit 1
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/bin"
sed 's,@PRAVELLON_SBIN@,/nonexistent/pravellon,' "$script_in" >"$dir/pravellon-boot"
stub() { printf '#!/bin/sh\n%s\n' "$2" >"$dir/bin/$1" && chmod +x "$dir/bin/$1"; }
stub uname 'echo FreeBSD'
stub sysctl "cat '$dir/boot'"
stub logger "printf '%s %s\\n' \"\$4\" \"\$6\" >>'$dir/log'"
stub sleep "echo \"sleep \$*\" >>'$dir/log'"
stub daemon "echo \"daemon \$*\" >>'$dir/log'"
stub sync :
stub pravellon "exec '$sim' --machine '$dir/machine' \"\$@\""
export PATH="$dir/bin:$PATH" PRAVELLON="$dir/bin/pravellon" PRAVELLON_STATE_DIR="$dir/state" PRAVELLON_RUN_DIR="$dir"
export PRAVELLON_TOKENS="P1=@1.35 Turbo=0" PRAVELLON_CONFIRM_AFTER=300
"$sim" --preset family10 --print-machine >"$dir/firmware"
cp "$dir/firmware" "$dir/machine"
report=$("$sim" --machine "$dir/machine")
cp "$dir/firmware" "$dir/applied" && "$sim" --machine "$dir/applied" $PRAVELLON_TOKENS
applied=$("$sim" --machine "$dir/applied")
failed=0 boot=

# The files of the state directory, with the boot that pending and
# firmware.boot name.
state() {
	for f in $(ls "$dir/state" 2>/dev/null); do
		case $f in pending | firmware.boot) printf '%s=%s ' "$f" "$(head -n 1 "$dir/state/$f")" ;; *) printf '%s ' "$f" ;; esac
	done
}

# row BOOT ACTION STATUS STATE LOG: the status, the state directory
# afterwards, and the start of the run's log lines, one per line.
row() {
	[ "$1" = "$boot" ] || { cp "$dir/firmware" "$dir/machine" && rm -f "$dir/pravellon.boot" && echo "$1" >"$dir/boot"; }
	boot=$1
	: >"$dir/log"
	sh "$dir/pravellon-boot" "$2" >"$dir/out" 2>&1
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

# Without tokens, pravellon's report and no file.
PRAVELLON_TOKENS=""
row boot-A start 0 "" "daemon.notice no settings configured: nothing applied"
expect "the report without tokens" "$report" "$(cat "$dir/out")"

# An earlier boot applied the settings and hung.
PRAVELLON_TOKENS="P1=@1.35 Turbo=0"
mkdir "$dir/state" && printf 'boot-A\n2026-12-09 17:00:00 UTC\n' >"$dir/state/pending"
skipped="daemon.warning settings not applied: the boot of 2026-12-09 17:00:00 UTC applied them and did not confirm them; remove $dir/state/pending to apply them again"
row boot-B start 0 "pending=boot-A " "$skipped"
expect "the report after a boot held back" "$report" "$("$sim" --machine "$dir/machine")"
row boot-B resume 0 "pending=boot-A " "$skipped"
row boot-B confirm 0 "pending=boot-A " ""
expect "only this boot's settings confirmed" "" "$(cat "$dir/log")"
row boot-A confirm 0 "" "sleep 300
daemon.notice settings confirmed"
row boot-A resume 0 "" "daemon.notice applied P1=@1.35 Turbo=0 after resume (pravellon status 0)"
expect "the report after resume" "$applied" "$("$sim" --machine "$dir/machine")"
row boot-A stop 0 "stopped " "daemon.notice nothing to give back"
row boot-A resume 0 "stopped " "daemon.notice settings not applied after resume: stopped"

# Boots on the firmware's own settings, saved before anything is applied.
rm -rf "$dir/state"
firmware=$("$sim" --machine "$dir/firmware" --tokens)
saved="firmware firmware.boot=boot-C "
row boot-C start 0 "${saved}pending=boot-C " "daemon.notice applied P1=@1.35 Turbo=0 (pravellon status 0); confirmed after 300 seconds"
expect "the firmware's settings saved" "$firmware" "$(cat "$dir/state/firmware")"
expect "the confirmation started" "daemon -f $dir/pravellon-boot confirm" "$(sed -n 2p "$dir/log")"
echo "boot-C, the clock set" >"$dir/boot"
row boot-C start 0 "${saved}pending=boot-C " "daemon.notice applied"
expect "the firmware's settings saved once a boot" "$firmware" "$(cat "$dir/state/firmware")"
row boot-D start 0 "${saved}pending=boot-C " "daemon.warning settings not applied"
row boot-C confirm 0 "$saved" "sleep 300
daemon.notice settings confirmed"
row boot-D start 0 "firmware firmware.boot=boot-D pending=boot-D " "daemon.notice applied"
row boot-D stop 0 "firmware firmware.boot=boot-D pending=boot-D stopped " \
	"daemon.notice gave back the firmware's settings: $firmware (pravellon status 0)"
expect "the report after stop" "$report" "$("$sim" --machine "$dir/machine")"

rm -rf "$dir/state"
PRAVELLON_CONFIRM_AFTER=0
row boot-E start 0 "firmware firmware.boot=boot-E " "daemon.notice applied P1=@1.35 Turbo=0 (pravellon status 0); no confirmation"
PRAVELLON_CONFIRM_AFTER=60
echo "fail wrmsr 0xc0010065" >>"$dir/firmware"
row boot-F start 254 "firmware firmware.boot=boot-F pending=boot-F " \
	"daemon.warning applying P1=@1.35 Turbo=0 failed (pravellon status 254): pravellon-sim: ioctl(CPUCTL_WRMSR)"

# A start after a stop lets resume apply again; the confirmation waits the
# time configured.
"$sim" --preset family10 --print-machine >"$dir/firmware"
rm -rf "$dir/state"
saved="firmware firmware.boot=boot-G "
row boot-G start 0 "${saved}pending=boot-G " "daemon.notice applied P1=@1.35 Turbo=0 (pravellon status 0); confirmed after 60 seconds"
row boot-G confirm 0 "$saved" "sleep 60
daemon.notice settings confirmed"
row boot-G stop 0 "${saved}stopped " "daemon.notice gave back"
row boot-G start 0 "${saved}pending=boot-G " "daemon.notice applied"
cp "$dir/firmware" "$dir/machine"
row boot-G resume 0 "${saved}pending=boot-G " "daemon.notice applied P1=@1.35 Turbo=0 after resume (pravellon status 0)"
expect "the report after stop, start and resume" "$applied" "$("$sim" --machine "$dir/machine")"

# Under systemd the unit pulls in the confirmation: no daemon(8).
export PRAVELLON_CONFIRM_UNIT=pravellon-confirm.service
rm -rf "$dir/state"
row boot-H start 0 "firmware firmware.boot=boot-H pending=boot-H " "daemon.notice applied P1=@1.35 Turbo=0 (pravellon status 0); confirmed after 60 seconds"
expect "no daemon(8) beside the systemd unit" "" "$(grep '^daemon ' "$dir/log")"
unset PRAVELLON_CONFIRM_UNIT

# Linux tells its boots apart by the kernel's boot identity.
if [ -r /proc/sys/kernel/random/boot_id ]; then
	stub uname 'echo Linux'
	linux=$(cat /proc/sys/kernel/random/boot_id)
	rm -rf "$dir/state"
	row boot-L start 0 "firmware firmware.boot=$linux pending=$linux " "daemon.notice applied P1=@1.35 Turbo=0 (pravellon status 0)"
	stub uname 'echo FreeBSD'
fi
exit $failed
