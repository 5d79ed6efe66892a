#!/usr/bin/env bash
# Makes this machine able to run Wine's 32-bit half, so that the shipped 32-bit program can be
# tested itself: the 32-bit Wine loader and user-mode emulation of 32-bit x86 where the kernel
# cannot start such programs on its own. Idempotent and quick when everything is in place.
#
# Exit status: 0 when a 32-bit program starts; SKIP_STATUS (77) with a line beginning
# "SKIPPED:" when the emulation cannot be set up here (no root, no binfmt_misc, packages that
# cannot be installed, a 32-bit program that still does not start).
set -uo pipefail

SKIP_STATUS=77
LOADER32=${TIDEWELL_WINE32:-/usr/lib/wine/wine}
QEMU=${TIDEWELL_QEMU_I386:-/usr/bin/qemu-i386-static}
BINFMT=${TIDEWELL_BINFMT_DIR:-/proc/sys/fs/binfmt_misc}
# 32-bit little-endian ELF executables for the 80386, whatever their ABI byte: the usual
# registration for the 32-bit x86 emulator.
MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
HANDLER_NAME=qemu-i386

skip() {
    echo "SKIPPED: the 32-bit program cannot be run on this machine: $*" >&2
    exit "$SKIP_STATUS"
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then sudo -n "$@"; else return 1; fi
}

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# A 32-bit program of the machine itself; it starts only where the kernel or the emulation can
# run it and the 32-bit libraries are there.
starts_32bit() {
    [ -x "$LOADER32" ] && timeout 120 "$LOADER32" --version >/dev/null 2>&1
}

install_packages() {
    local missing=()
    installed qemu-user-static || missing+=(qemu-user-static)
    installed wine32:i386 || missing+=(wine32:i386)
    [ ${#missing[@]} -eq 0 ] && return 0
    command -v dpkg >/dev/null || skip "no dpkg to install ${missing[*]}"
    echo "Installing for the 32-bit tests: ${missing[*]}"
    local log=/tmp/tidewell-apt-win32.log
    {
        if ! dpkg --print-foreign-architectures | grep -qx i386; then as_root dpkg --add-architecture i386; fi &&
            as_root apt-get update -qq &&
            DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends "${missing[@]}"
    } >"$log" 2>&1 || skip "could not install ${missing[*]} (see $log; it needs root and the i386 architecture)"
}

# The bytes of a registration's magic or mask as the kernel lists them: lower-case hex digits.
hex_of() {
    printf '%b' "$1" | od -An -tx1 -v | tr -d ' \n'
}

# Whether some enabled handler already takes 32-bit x86 programs: one whose magic and mask are
# those above (whatever its name or interpreter), or one of the usual name.
handler_registered() {
    local magic mask entry
    magic=$(hex_of "$MAGIC")
    mask=$(hex_of "$MASK")
    [ -e "$BINFMT/$HANDLER_NAME" ] && return 0
    for entry in "$BINFMT"/*; do
        case "${entry##*/}" in register | status) continue ;; esac
        [ -f "$entry" ] || continue
        grep -qx "magic $magic" "$entry" && grep -qx "mask $mask" "$entry" && return 0
    done
    return 1
}

register_emulation() {
    [ -x "$QEMU" ] || skip "$QEMU is missing"
    if [ ! -e "$BINFMT/register" ]; then
        as_root mount -t binfmt_misc binfmt_misc "$BINFMT" >/dev/null 2>&1 ||
            skip "binfmt_misc is not mounted and cannot be mounted (it needs root, or the container does not allow it)"
    fi
    [ "$(cat "$BINFMT/status" 2>/dev/null)" = enabled ] || skip "binfmt_misc is disabled on this machine"
    if handler_registered; then return 0; fi
    # The kernel reads the \x escapes itself. Flag F: it opens the emulator now, so that the
    # emulator is found in every mount namespace.
    local line=":$HANDLER_NAME:M::$MAGIC:$MASK:$QEMU:F"
    as_root sh -c 'printf "%s\n" "$1" > "$2"' register "$line" "$BINFMT/register" 2>/dev/null ||
        skip "could not register $QEMU with binfmt_misc (it needs root)"
    echo "Registered $QEMU for 32-bit x86 programs"
}

starts_32bit && exit 0
install_packages
starts_32bit && exit 0
register_emulation
starts_32bit || skip "a 32-bit program ($LOADER32 --version) does not start even with the emulation in place"
exit 0
