#!/usr/bin/env python3
"""The kit's installer under Wine, in a prefix and on a display made for the
run: refused where it cannot write; installed silently, twice (the second
over the first); Tavrin started from its Start-menu shortcut shows its icon,
keeps TstHis.db in %LOCALAPPDATA%\\PLC Serial Kit and receives on COM5 once
port 5 is typed and Start ticked; uninstalled silently as Add/Remove
Programs does it, leaving the history file.

    install_under_wine.py --setup SETUP.exe --icon tavrin-32.png --version V
"""
import argparse
import fcntl
import glob
import os
import re
import shutil
import subprocess
import sys
import termios
import time

from run_under_wine import wine_session

UNINSTALL_KEY = r'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\PLC Serial Kit'
INSTALLED = ('drive_c', 'Program Files', 'PLC Serial Kit')
START_MENU = ('drive_c', 'ProgramData', 'Microsoft', 'Windows', 'Start Menu', 'Programs', 'PLC Serial Kit')
faults = []


def expect(ok, fault):
    if not ok:
        faults.append(fault)
    return ok


def wait_for(condition, seconds):
    deadline = time.monotonic() + seconds
    while not (value := condition()) and time.monotonic() < deadline:
        time.sleep(0.2)
    return value


def uninstall_entry(prefix):
    """The Add/Remove Programs entry's values by name; empty when it is gone."""
    query = prefix.run('reg.exe', 'query', UNINSTALL_KEY, stdout=subprocess.PIPE, text=True).stdout
    return dict(re.findall(r'^\s+(\S+)\s+REG_\w+\s+(.*)$', query, re.M))


def history_files(prefix):
    return glob.glob(prefix.path('drive_c', 'users', '*', 'AppData', 'Local', 'PLC Serial Kit', 'TstHis.db'))


def icon_difference(prefix, window, png):
    """Mean difference per channel (0-255) between the window's 32 px icon,
    as Wine hands it to X, and the icon as built."""
    text = subprocess.run(['xprop', '-id', window, '-notype', '32c', '_NET_WM_ICON'], env=prefix.env,
                          stdout=subprocess.PIPE, text=True).stdout
    numbers = [int(n) for n in text.partition('=')[2].replace(',', ' ').split()]
    while len(numbers) > 2 and numbers[0] != 32:
        numbers = numbers[2 + numbers[0] * numbers[1]:]
    shown = numbers[2:2 + 32 * 32]
    raw = subprocess.run(['convert', png, '-depth', '8', 'bgra:-'], stdout=subprocess.PIPE, check=True).stdout
    built = b''.join(value.to_bytes(4, 'little') for value in shown)
    return sum(abs(a - b) for a, b in zip(built, raw)) / len(raw) if len(built) == len(raw) else 255


def run_tavrin_from_its_shortcut(prefix, far, icon_png):
    # As Explorer opens a shortcut: its program, arguments and start folder.
    prefix.run('start.exe', '/unix', prefix.path(*START_MENU, 'Tavrin.lnk'), check=True)
    found = wait_for(lambda: subprocess.run(['xdotool', 'search', '--onlyvisible', '--name', '^Tavrin$'],
                                            env=prefix.env, stdout=subprocess.PIPE, text=True).stdout.split(), 120)
    if not expect(found, 'the Tavrin window did not open'):
        return
    expect(wait_for(lambda: history_files(prefix), 30), r'no TstHis.db in %LOCALAPPDATA%\PLC Serial Kit')
    expect(not os.path.exists(prefix.path(*INSTALLED, 'Tavrin', 'TstHis.db')), 'TstHis.db in the program folder')
    expect(wait_for(lambda: icon_difference(prefix, found[0], icon_png) < 8, 30), 'not the Tavrin icon at 32 px')

    # The port box has the focus: port 5, then Tab to Start and tick it.
    subprocess.run(['xdotool', 'windowfocus', '--sync', found[0]], env=prefix.env, timeout=30)
    subprocess.run(['xdotool', 'key', '--delay', '100', 'ctrl+a', '5', 'Tab', 'space'], env=prefix.env, timeout=30)
    if not expect(far.wait_for_speed(termios.B9600, 60), 'Tavrin never opened COM5 at 9600 baud'):
        return
    time.sleep(1.0)  # the open clears what came before it
    os.write(far.master, b'ABCDEFGHIJKLMNOPQRST')
    unread = lambda: fcntl.ioctl(far.slave, termios.FIONREAD, b'\0\0\0\0') != b'\0\0\0\0'  # noqa: E731
    expect(wait_for(lambda: not unread(), 30), 'Tavrin did not read the bytes sent to COM5')


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--setup', required=True)
    parser.add_argument('--icon', required=True, help="Tavrin's 32 px icon as built")
    parser.add_argument('--version', required=True)
    args = parser.parse_args()

    began = time.monotonic()
    with wine_session('kit-install-') as (scratch, prefix, far):
        setup = shutil.copy(args.setup, scratch)
        installed, start_menu = prefix.path(*INSTALLED), prefix.path(*START_MENU)

        # A file where the program folder would go: nothing can be written.
        with open(installed, 'w') as blocker:
            blocker.write('in the way')
        expect(prefix.run(setup, '/S').returncode == 5, 'a refused install did not end with status 5')
        expect(not uninstall_entry(prefix) and not os.path.exists(start_menu), 'a refused install changed things')
        os.remove(installed)

        for attempt in ('install', 'install over it'):
            expect(prefix.run(setup, '/S').returncode == 0, f'{attempt} failed')
        expect(os.path.isdir(start_menu) and sorted(os.listdir(start_menu)) == ['Morvex 藍牙通訊設定.lnk', 'Pelurk.lnk', 'Tavrin.lnk'],
               'not the three shortcuts')
        entry = uninstall_entry(prefix)
        for name, value in (('DisplayName', 'PLC Serial Kit'), ('DisplayVersion', args.version),
                            ('Publisher', 'PLC serial kit developers'),
                            ('DisplayIcon', r'C:\Program Files\PLC Serial Kit\Tavrin\tavrin.exe,0'),
                            ('QuietUninstallString', r'"C:\Program Files\PLC Serial Kit\uninstall.exe" /S')):
            expect(entry.get(name) == value, f'uninstall entry {name}: {entry.get(name)!r}, not {value!r}')
        expect(int(entry.get('EstimatedSize', '0'), 16) > 10000, f"size {entry.get('EstimatedSize')} KiB")

        run_tavrin_from_its_shortcut(prefix, far, args.icon)
        prefix.server('-k')

        # The uninstaller goes on from a copy of itself: the run ends when
        # the Wine server has no program left.
        prefix.run(r'C:\Program Files\PLC Serial Kit\uninstall.exe', '/S')
        prefix.server('-w')
        expect(not os.path.exists(installed) and not os.path.exists(start_menu) and not uninstall_entry(prefix),
               'the uninstall left the program folder, shortcuts or entry')
        expect(history_files(prefix), 'the history file went with the program')
    print(f'install_under_wine: {time.monotonic() - began:.1f} s,', '; '.join(faults) or 'all as expected')
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
