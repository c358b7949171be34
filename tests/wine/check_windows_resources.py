#!/usr/bin/env python3
"""What Explorer shows of each .exe of the Windows kit: its icon (a group
with every size from 16 to 256 px), its version resource (product, file
description, version) and, for the programs, the window subsystem (no
console window beside them). Read with wrestool and objdump.

    check_windows_resources.py --kit BUILD/windows --version 0.2.0
"""
import argparse
import os
import re
import struct
import subprocess
import sys

PROGRAMS = {
    'dist/Tavrin/tavrin.exe': 'Tavrin - Serial Console',
    'dist/Morvex/morvex.exe': 'Morvex 藍牙通訊設定 - Bluetooth Serial Adapter Configurator',
    'dist/Pelurk/pelurk.exe': 'Pelurk - USB Serial Port Checker',
}
ICON_SIZES = {16, 24, 32, 48, 64, 128, 256}


def resource(exe, kind, raw=False):
    command = ['wrestool', '-x', f'--type={kind}', exe] + (['--raw'] if raw else [])
    return subprocess.run(command, stdout=subprocess.PIPE, check=True).stdout


def icon_sizes(ico):
    """The square sizes an .ico holds (a width byte of 0 is 256)."""
    if len(ico) < 6:
        return set()
    count = struct.unpack_from('<H', ico, 4)[0]
    return {ico[6 + 16 * i] or 256 for i in range(count) if ico[6 + 16 * i] == ico[7 + 16 * i]}


def version_strings(blob, keys):
    """The version resource's strings for `keys`, and its fixed file version."""
    text = blob[:len(blob) // 2 * 2].decode('utf-16le', 'replace')
    # Each string is its key, padding and its value, all ended by zeros.
    found = {key: re.search(re.escape(key) + '\0+([^\0]*)', text) for key in keys}
    strings = {key: match.group(1) for key, match in found.items() if match}
    fixed = blob.find(struct.pack('<I', 0xFEEF04BD))
    if fixed >= 0:
        ms, ls = struct.unpack_from('<II', blob, fixed + 8)
        strings['fixed'] = f'{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}'
    return strings


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--kit', required=True)
    parser.add_argument('--version', required=True)
    args = parser.parse_args()

    setup = f'plc-serial-kit-{args.version}-windows-x64-setup.exe'
    wanted = dict(PROGRAMS)
    wanted[setup] = 'PLC Serial Kit setup'
    faults = []
    for name, description in wanted.items():
        exe = os.path.join(args.kit, name)
        if not os.path.isfile(exe):
            faults.append(f'{name}: missing')
            continue
        sizes = icon_sizes(resource(exe, 14))
        if not ICON_SIZES <= sizes:
            faults.append(f'{name}: icon sizes {sorted(sizes)}, wanted {sorted(ICON_SIZES)}')
        expected = {'ProductName': 'PLC Serial Kit', 'FileDescription': description,
                    'ProductVersion': args.version, 'FileVersion': args.version}
        strings = version_strings(resource(exe, 16, raw=True), expected)
        expected['fixed'] = args.version + '.0'
        for key, value in expected.items():
            if strings.get(key) != value:
                faults.append(f'{name}: {key} {strings.get(key)!r}, wanted {value!r}')
        if name in PROGRAMS:
            headers = subprocess.run(['x86_64-w64-mingw32-objdump', '-p', exe], stdout=subprocess.PIPE,
                                     text=True, check=True).stdout
            if '(Windows GUI)' not in headers:
                faults.append(f'{name}: not a window program (subsystem)')
    for fault in faults:
        print('FAIL:', fault)
    print(f'{len(wanted)} files checked, {len(faults)} faults')
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
