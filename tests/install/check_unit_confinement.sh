#!/bin/sh
# The systemd units' confinement: systemd-analyze security --offline=yes rates
# each at most 4.0, and the units that run pravellon set no option that hides
# its devices or /sys, or takes what it needs, without giving it back.
#
# check_unit_confinement.sh DIST/linux
set -u
units_in=$1
dir=$(mktemp -d "${TMPDIR:-/tmp}/pravellon-units.XXXXXX") || exit 1
trap 'rm -rf "$dir"' EXIT

if ! command -v systemd-analyze >/dev/null 2>&1; then
	# .ci/run installs systemd: in CI the check must not pass unseen.
	[ -z "${CI:-}" ] || { echo "FAIL: systemd-analyze not found"; exit 1; }
	echo "skipped: systemd-analyze not found"
	exit 77
fi

for unit in pravellon pravellon-confirm pravellon-resume; do
	sed -e 's,@PRAVELLON_BOOT@,/usr/libexec/pravellon-boot,' -e 's,@PRAVELLON_ENV_FILE@,/etc/pravellon.conf,' \
		"$units_in/$unit.service.in" >"$dir/$unit.service" || exit 1
done
failed=0

# An option that would keep pravellon from its devices or /sys, the setting
# that gives them back ("" where nothing does), and what it would break. A
# grep -E pattern each, matched against whole lines.
hiding='PrivateDevices=(yes|true|on|1);BindPaths=.*/dev/cpu( .*)?;hides /dev/cpu
ProtectKernelTunables=(yes|true|on|1);ReadWritePaths=.*/sys/(devices|bus/pci)( .*)?;makes /sys/bus/pci/devices/*/config read-only
DevicePolicy=(closed|strict);DeviceAllow=char-cpu/msr rw;closes the MSR devices
DevicePolicy=(closed|strict);DeviceAllow=char-cpu/cpuid rw?;closes the CPUID device
CapabilityBoundingSet=.*;CapabilityBoundingSet=(.* )?CAP_SYS_RAWIO( .*)?;takes CAP_SYS_RAWIO, which the MSR device asks for
CapabilityBoundingSet=.*;CapabilityBoundingSet=(.* )?CAP_SYS_ADMIN( .*)?;takes CAP_SYS_ADMIN, which the PCI configuration space past 64 bytes asks for
PrivateUsers=(yes|true|on|1);;leaves no capability that the kernel honours for devices
ProcSubset=pid;;hides /proc/sys/kernel/random/boot_id, which tells the boots apart
InaccessiblePaths=(.* )?-?(/dev(/cpu[^ ]*)?|/sys(/(bus|devices)[^ ]*)?)([: ].*)?;;hides the devices or /sys
TemporaryFileSystem=(.* )?-?(/dev(/cpu[^ ]*)?|/sys(/(bus|devices)[^ ]*)?)([: ].*)?;;hides the devices or /sys'

# Prints a line for each option of FILE set without its re-allowance.
hidden() { # FILE
	printf '%s\n' "$hiding" | while IFS=';' read -r option allowance why; do
		grep -Eqx "$option" "$1" || continue
		[ -n "$allowance" ] && grep -Eqx "$allowance" "$1" && continue
		printf '%s: %s\n' "$(grep -Ex "$option" "$1" | head -n 1)" "$why"
	done
}

for unit in pravellon pravellon-confirm pravellon-resume; do
	if ! systemd-analyze security --offline=yes --threshold=40 "$dir/$unit.service" >"$dir/out" 2>&1; then
		printf 'FAIL: %s.service is exposed above 4.0:\n' "$unit"
		grep -E '^(✗|→)|rror' "$dir/out"
		failed=1
	fi
done
# The confirmation runs no pravellon, and may hide what it likes.
for unit in pravellon pravellon-resume; do
	found=$(hidden "$dir/$unit.service")
	[ -z "$found" ] || { printf 'FAIL: %s.service:\n%s\n' "$unit" "$found"; failed=1; }
done

# The check itself: each option, added to a unit that sets none of them, is
# found.
grep -Ev '^(PrivateDevices|ProtectKernelTunables|DevicePolicy|DeviceAllow|CapabilityBoundingSet)=' \
	"$dir/pravellon.service" >"$dir/bare"
for added in PrivateDevices=yes ProtectKernelTunables=yes DevicePolicy=closed "CapabilityBoundingSet=CAP_SYS_ADMIN" \
	PrivateUsers=yes ProcSubset=pid "InaccessiblePaths=-/sys/devices/pci0000:00" "TemporaryFileSystem=/dev:ro"; do
	{ cat "$dir/bare" && printf '%s\n' "$added"; } >"$dir/try"
	[ -n "$(hidden "$dir/try")" ] || { printf 'FAIL: %s not found\n' "$added"; failed=1; }
done
[ -z "$(hidden "$dir/bare")" ] || { printf 'FAIL: found in a unit without them:\n%s\n' "$(hidden "$dir/bare")"; failed=1; }
exit $failed
