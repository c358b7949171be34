#!/usr/bin/env python3
"""What Explorer shows of each .exe of the Windows kit, read with wrestool
and objdump: an icon group with every size from 16 to 256 px, a version
resource (product, description, version) and, for the programs, the window
subsystem (no console window beside them).

    check_windows_resources.py --kit BUILD/windows --version 0.2.0
"""
import argparse
import os
import re
import struct
import subprocess
import sys


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--kit', required=True)
    parser.add_argument('--version', required=True)
    args = parser.parse_args()

    files = {
        'dist/Tavrin/tavrin.exe': 'Tavrin - Serial Console',
        'dist/Morvex/morvex.exe': 'Morvex 藍牙通訊設定 - Bluetooth Serial Adapter Configurator',
        'dist/Pelurk/pelurk.exe': 'Pelurk - USB Serial Port Checker',
        f'plc-serial-kit-{args.version}-windows-x64-setup.exe': 'PLC Serial Kit setup',
    }
    faults = []
    for name, description in files.items():
        exe = os.path.join(args.kit, name)
        read = lambda *command: subprocess.run(command, stdout=subprocess.PIPE, check=True).stdout  # noqa: E731
        ico = read('wrestool', '-x', '--type=14', exe)
        # An .ico's directory: a width byte per entry, 0 meaning 256.
        sizes = {ico[6 + 16 * i] or 256 for i in range(struct.unpack_from('<H', ico, 4)[0])} if ico else set()
        if sizes != {16, 24, 32, 48, 64, 128, 256}:
            faults.append(f'{name}: icon sizes {sorted(sizes)}')
        version = read('wrestool', '-x', '--raw', '--type=16', exe)
        text = version[:len(version) // 2 * 2].decode('utf-16le', 'replace')
        fixed = version.find(struct.pack('<I', 0xFEEF04BD))  # VS_FIXEDFILEINFO
        ms, ls = struct.unpack_from('<II', version, fixed + 8) if fixed >= 0 else (0, 0)
        shown = {key: (re.findall(key + '\0+([^\0]*)', text) or [None])[0]
                 for key in ('ProductName', 'FileDescription', 'ProductVersion', 'FileVersion')}
        shown['fixed'] = f'{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}'
        wanted = {'ProductName': 'PLC Serial Kit', 'FileDescription': description,
                  'ProductVersion': args.version, 'FileVersion': args.version, 'fixed': args.version + '.0'}
        faults += [f'{name}: {key} {shown[key]!r}, not {value!r}' for key, value in wanted.items() if shown[key] != value]
        if name.startswith('dist/') and b'(Windows GUI)' not in read('x86_64-w64-mingw32-objdump', '-p', exe):
            faults.append(f'{name}: not a window program')
    print('\n'.join(faults) or f'{len(files)} files as expected')
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
