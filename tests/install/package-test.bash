#!/usr/bin/env bash
# The Debian packages from end to end: cpack makes them afresh, lintian accepts
# them, dpkg refuses the tool without a provider of the auxiliary-port library,
# apt installs both, the installed tool runs from /usr/bin against the installed
# simulator, both man pages open, and removing both leaves nothing behind.
#
#   package-test.bash <build dir> <scratch dir>
#
# It installs system-wide, so it needs root (status 77, skipped, otherwise) and
# leaves alone a machine where either package is installed already.
set -uo pipefail

build=$1
work=$2
packages=(vexa-gpio vexa-gpio-simulator)

if [[ $(id -u) -ne 0 ]]; then
    echo "skipped: installing packages needs root"
    exit 77
fi

# One run at a time on the machine: the packages are installed system-wide.
mkdir -p /run/lock
exec 9>/run/lock/vexa-gpio-package-test
flock 9

# Captured first: "grep -q" leaving early could kill dpkg-query by SIGPIPE, and under
# pipefail an installed package would then pass for a missing one.
installed=$(dpkg-query -W -f='${db:Status-Abbrev}\n' "${packages[@]}" 2>/dev/null || true)
if grep -q '^.i' <<<"$installed"; then
    echo "skipped: ${packages[*]} already installed on this machine"
    exit 77
fi

fail() {
    echo "FAILED: $*"
    exit 1
}

# Whatever happens, the machine is left as it was.
trap 'dpkg --purge "${packages[@]}" >/dev/null 2>&1' EXIT

rm -rf "$work"
mkdir -p "$work"
(cd "$build" && cpack -G DEB -B "$work/debs") >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack -G DEB"; }
tool_deb=$(echo "$work"/debs/vexa-gpio_*.deb)
simulator_deb=$(echo "$work"/debs/vexa-gpio-simulator_*.deb)
[[ -f $tool_deb && -f $simulator_deb ]] || fail "cpack made no .debs in $work/debs"

# Errors and warnings fail; informational tags do not.
lintian --tag-display-limit 0 "$tool_deb" "$simulator_deb" >"$work/lintian.log" 2>&1
cat "$work/lintian.log"
if grep -q '^[EW]: ' "$work/lintian.log"; then
    fail "lintian reports errors or warnings"
fi

refusal=$(dpkg -i "$tool_deb" 2>&1) && fail "dpkg -i of the tool alone succeeded"
[[ $refusal == *"vexa-auxport-library"* ]] || fail "dpkg -i of the tool alone did not name the dependency: $refusal"
[[ ! -e /usr/lib/vexa-gpio && ! -e /usr/bin/vexa-gpio ]] || fail "dpkg -i of the tool alone unpacked it"
dpkg --purge vexa-gpio >/dev/null 2>&1

DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$tool_deb" "$simulator_deb" \
    </dev/null >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install of both .debs"; }

output=$(cd / && env -u VEXA_SIM_CONFIG -u VEXA_SIM_TRACE -u VEXA_SIM_FAIL_CALL -u VEXADIR5_64 -u VEXADIR5 \
    VEXA_SIM_STATE="$work/sim.state" PATH=/usr/bin vexa-gpio -board 0 -get 2>"$work/errors")
status=$?
[[ $status -eq 0 && $output == "Board 0 is a Vexa Lynx 752"*"Done." ]] ||
    fail "vexa-gpio -board 0 -get from /usr/bin gave status $status:"$'\n'"$output"$'\n'"$(cat "$work/errors")"

for page in vexa-gpio vexa-sim; do
    warnings=$(MANPAGER=cat MANWIDTH=80 man --warnings "$page" 2>&1 >/dev/null) && [[ -z $warnings ]] ||
        fail "man $page: $warnings"
done

installed_files=$(dpkg-query -L "${packages[@]}" | sort -u)
dpkg -r "${packages[@]}" >"$work/remove.log" 2>&1 || { cat "$work/remove.log"; fail "dpkg -r of both"; }
left=()
while IFS= read -r file; do
    # Folders that other packages share (/usr, /usr/share/man, ...) stay.
    [[ ( -e $file || -L $file ) && ! -d $file ]] && left+=("$file")
done <<<"$installed_files"
[[ -e /usr/lib/vexa-gpio ]] && left+=(/usr/lib/vexa-gpio)
((${#left[@]} == 0)) || fail "dpkg -r left behind: ${left[*]}"
echo "packages built, accepted by lintian, installed, run and removed"
