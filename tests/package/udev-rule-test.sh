#!/usr/bin/env bash
# Checks the ZRV-Link's udev rule: `udevadm verify` where udev has it; and `udevadm test` on made-up
# devices, each in a private mount namespace that lays a fake sysfs over /sys, the rule alone over the
# rules directories, and empty scratch file systems over /dev and /run, so that nothing reaches the
# machine's own. Without root or mount namespaces, only the rule's syntax is checked.
# Usage: tests/package/udev-rule-test.sh RULES_FILE
set -uo pipefail
rules=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=check.sh
source "$here/check.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/zrv-udev-test.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Every rule line, continuations joined, is a comma-separated list of KEY[{attr}] OP "value".
check_syntax() {
  local item='[A-Z_]+(\{[^}]*\})?[[:space:]]*(==|!=|\+=|-=|:=|=)[[:space:]]*"[^"]*"'
  sed -e ':a' -e '/\\$/N; s/\\\n//; ta' "$rules" | grep -Ev '^[[:space:]]*(#|$)' |
    grep -Evx "[[:space:]]*$item([[:space:]]*,[[:space:]]*$item)*[[:space:]]*"
  [ "${PIPESTATUS[2]}" -eq 1 ]
}

# A USB device with one interface whose tty is ttyACM0, below SYS. Arguments: SYS VID PID SERIAL ('-':
# none).
make_usb_tty() {
  local sys=$1 vid=$2 pid=$3 serial=$4
  local usb=$sys/devices/pci0000:00/0000:00:14.0/usb1/1-2
  local interface=$usb/1-2:1.0 tty=$usb/1-2:1.0/tty/ttyACM0
  mkdir -p "$sys/bus/usb" "$sys/class/tty" "$tty"
  printf 'DEVTYPE=usb_device\nDRIVER=usb\nPRODUCT=%s/%x/100\nDEVNAME=bus/usb/001/002\n' "$vid" "0x$pid" >"$usb/uevent"
  ln -s ../../../../../bus/usb "$usb/subsystem"
  echo "$vid" >"$usb/idVendor"
  echo "$pid" >"$usb/idProduct"
  echo 0100 >"$usb/bcdDevice"
  [ "$serial" = - ] || echo "$serial" >"$usb/serial"
  printf 'DEVTYPE=usb_interface\nDRIVER=cdc_acm\nINTERFACE=2/2/1\n' >"$interface/uevent"
  ln -s ../../../../../../bus/usb "$interface/subsystem"
  for attribute in bInterfaceNumber:00 bInterfaceClass:02 bInterfaceSubClass:02 bInterfaceProtocol:01; do
    echo "${attribute#*:}" >"$interface/${attribute%%:*}"
  done
  printf 'MAJOR=166\nMINOR=0\nDEVNAME=ttyACM0\n' >"$tty/uevent"
  echo 166:0 >"$tty/dev"
  ln -s ../../../../../../../../class/tty "$tty/subsystem"
  ln -s ../../devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/tty/ttyACM0 "$sys/class/tty/ttyACM0"
}

# What `udevadm test` does for the fake tty, with only the rule under test loaded.
run_udevadm_test() { # SYS RULES_DIR OUTPUT
  unshare --mount --propagation private bash -s -- "$1" "$2" "$work" >"$3" 2>&1 <<'INNER'
set -e
sys=$1 rules=$2 work=$3
touch "$work/null"
mount --bind /dev/null "$work/null"
mount -t tmpfs scratch /dev
touch /dev/null
mount --bind "$work/null" /dev/null
mount -t tmpfs scratch /run
for dir in /etc/udev/rules.d /usr/lib/udev/rules.d /lib/udev/rules.d /usr/local/lib/udev/rules.d; do
  [ -d "$dir" ] && mount --bind "$rules" "$dir"
done
mount --bind "$sys" /sys
# The fake tree is no sysfs; udev is told not to insist.
SYSTEMD_DEVICE_VERIFY_SYSFS=0 udevadm test --action=add /sys/class/tty/ttyACM0
INNER
}

can_run_udevadm_test() {
  [ "$(id -u)" -eq 0 ] && command -v udevadm >/dev/null && unshare --mount --propagation private true 2>/dev/null
}

if udevadm verify --help >/dev/null 2>&1; then
  check_true "udevadm verify" udevadm verify "$rules"
fi

if ! can_run_udevadm_test; then
  echo "udev rule: no root, udevadm or mount namespace here; checking the syntax only"
  check_true "rule syntax" check_syntax
  check_summary "udev rule checks"
  exit
fi

mkdir -p "$work/rules"
cp "$rules" "$work/rules/"
dialout=$(getent group dialout | cut -d: -f3)
# VID PID SERIAL | the link expected ('-': none) | whether the rule takes the device
cases=(
  "fe5a 0016 ZRV0001|/dev/zrvlink-ZRV0001|yes"
  "fe5a 0016 ZRV 00/1|/dev/zrvlink-ZRV_00_1|yes"
  "fe5a 0016 -|-|yes"
  "0403 6001 FT12345|-|no"
)
n=0
for entry in "${cases[@]}"; do
  IFS='|' read -r device link taken <<<"$entry"
  read -r vid pid serial <<<"$device"
  n=$((n + 1))
  make_usb_tty "$work/sys$n" "$vid" "$pid" "$serial"
  out=$work/udevadm$n.txt
  if ! run_udevadm_test "$work/sys$n" "$work/rules" "$out" || ! grep -q '^DEVNAME=/dev/ttyACM0$' "$out"; then
    check_fail "$device: udevadm test did not run"
    cat "$out"
    continue
  fi
  links=$(sed -n 's/^DEVLINKS=//p' "$out" | tr ' ' '\n' | grep zrvlink || true)
  check_equal "$device: link" "${link/#-/}" "$links"
  if [ "$taken" = yes ]; then
    check_true "$device: group dialout" grep -Eq "rules:[0-9]+ GROUP $dialout\$" "$out"
    check_true "$device: mode 0660" grep -Eq 'rules:[0-9]+ MODE 0660$' "$out"
    check_true "$device: local session's user (uaccess)" grep -Eq '^TAGS=.*:uaccess:' "$out"
    check_true "$device: modem managers keep off" grep -q '^ID_MM_DEVICE_IGNORE=1$' "$out"
  else
    check_true "$device: left alone" bash -c "! grep -Eq 'GROUP|MODE|^TAGS=|^ID_MM_DEVICE_IGNORE=' '$out'"
  fi
done
check_true "rule syntax" check_syntax
check_summary "udev rule checks"
