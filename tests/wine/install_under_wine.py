#!/usr/bin/env python3
"""The kit's installer under Wine, as a Windows user meets it, in a Wine
prefix and on a virtual display made for this run and removed afterwards:

- a folder it cannot write: the installer says so (exit status 5) and
  changes nothing;
- setup.exe /S installs, twice (the second over the first): the program
  folders, the three Start-menu shortcuts and the Add/Remove Programs entry;
- Tavrin started from its shortcut opens its window with its icon, makes
  TstHis.db in %LOCALAPPDATA%\\PLC Serial Kit, and receives on COM5 (a
  pseudo-terminal whose far end this script plays) once its port box reads 5
  and Start is ticked, typed as a user would;
- the uninstaller, run as Add/Remove Programs runs it (its /S command line
  from the registry), removes the program folder, the shortcuts and the
  entry, and leaves the history file.

    install_under_wine.py --setup BUILD/windows/plc-serial-kit-V-windows-x64-setup.exe \\
        --icon BUILD/windows/build/program_icons/tavrin-32.png --version V
"""
import argparse
import fcntl
import glob
import os
import shutil
import subprocess
import sys
import termios
import time

from run_under_wine import wine_session

UNINSTALL_KEY = r'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\PLC Serial Kit'
INSTALLED = ('drive_c', 'Program Files', 'PLC Serial Kit')
START_MENU = ('drive_c', 'ProgramData', 'Microsoft', 'Windows', 'Start Menu', 'Programs', 'PLC Serial Kit')
SHORTCUTS = ['Morvex 藍牙通訊設定.lnk', 'Pelurk.lnk', 'Tavrin.lnk']


def log(*parts):
    print('install_under_wine:', *parts, flush=True)


class Check:
    def __init__(self):
        self.faults = []

    def that(self, what, ok):
        if not ok:
            self.faults.append(what)
        return ok


def registry_values(prefix):
    """The uninstall entry's values by name; None when there is no entry."""
    query = prefix.run('reg.exe', 'query', UNINSTALL_KEY, stdout=subprocess.PIPE, text=True)
    if query.returncode != 0:
        return None
    values = {}
    for line in query.stdout.splitlines():
        parts = line.split(None, 2)
        if len(parts) == 3 and parts[1].startswith('REG_'):
            values[parts[0]] = parts[2]
    return values


def history_files(prefix):
    """TstHis.db in %LOCALAPPDATA%\\PLC Serial Kit of the prefix's user."""
    return glob.glob(prefix.path('drive_c', 'users', '*', 'AppData', 'Local', 'PLC Serial Kit', 'TstHis.db'))


def wait_for(condition, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.2)
    return None


def window_icons(prefix, window):
    """_NET_WM_ICON of an X window as {width: [ARGB, ...]}."""
    text = subprocess.run(['xprop', '-id', window, '-notype', '32c', '_NET_WM_ICON'], env=prefix.env,
                          stdout=subprocess.PIPE, text=True).stdout
    numbers = [int(n) for n in text.partition('=')[2].replace(',', ' ').split()]
    icons = {}
    while len(numbers) >= 2:
        width, height = numbers[:2]
        icons[width] = numbers[2:2 + width * height]
        numbers = numbers[2 + width * height:]
    return icons


def png_argb(path):
    raw = subprocess.run(['convert', path, '-depth', '8', 'rgba:-'], stdout=subprocess.PIPE, check=True).stdout
    return [(raw[i + 3] << 24) | (raw[i] << 16) | (raw[i + 1] << 8) | raw[i + 2] for i in range(0, len(raw), 4)]


def mean_difference(shown, expected):
    """Mean difference per channel (0-255) of two ARGB pictures."""
    if len(shown) != len(expected):
        return 255
    total = sum(abs(((a >> s) & 255) - ((b >> s) & 255)) for a, b in zip(shown, expected) for s in (0, 8, 16, 24))
    return total / (4 * len(shown))


def run_tavrin_from_its_shortcut(prefix, far, icon_png, check):
    shortcut = prefix.path(*START_MENU, 'Tavrin.lnk')
    # As Explorer opens a shortcut: its program, arguments and start folder.
    prefix.run('start.exe', '/unix', shortcut, check=True)
    window = wait_for(lambda: subprocess.run(['xdotool', 'search', '--onlyvisible', '--name', '^Tavrin$'],
                                             env=prefix.env, stdout=subprocess.PIPE, text=True).stdout.split(), 120)
    window = window[0] if window else None
    if not check.that('the Tavrin window did not open', window):
        return
    check.that('no TstHis.db in %LOCALAPPDATA%\\PLC Serial Kit', wait_for(lambda: history_files(prefix), 30))
    check.that('TstHis.db made in the program folder',
               not os.path.exists(prefix.path(*INSTALLED, 'Tavrin', 'TstHis.db')))
    icon = wait_for(lambda: window_icons(prefix, window).get(32), 30)
    check.that('the window does not show the Tavrin icon at 32 px',
               icon and mean_difference(icon, png_argb(icon_png)) < 8)

    # The port box has the focus: port 5, then Tab to Start and tick it.
    subprocess.run(['xdotool', 'windowfocus', '--sync', window], env=prefix.env, timeout=30)
    subprocess.run(['xdotool', 'key', '--delay', '100', 'ctrl+a', '5', 'Tab', 'space'], env=prefix.env, timeout=30)
    if not check.that('Tavrin never opened COM5 at 9600 baud', far.wait_for_speed(termios.B9600, 60)):
        return
    # The open clears what came before it: bytes go out once it is done.
    time.sleep(1.0)
    os.write(far.master, b'ABCDEFGHIJKLMNOPQRST')

    def unread():
        return fcntl.ioctl(far.slave, termios.FIONREAD, b'\0\0\0\0') != b'\0\0\0\0'
    check.that('Tavrin did not read the bytes sent to COM5', wait_for(lambda: not unread(), 30))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--setup', required=True, help='the installer')
    parser.add_argument('--icon', required=True, help="Tavrin's icon as a 32 px PNG, as built")
    parser.add_argument('--version', required=True)
    args = parser.parse_args()

    began = time.monotonic()
    check = Check()
    with wine_session('kit-install-') as (scratch, prefix, far):
        setup = os.path.join(scratch, os.path.basename(args.setup))
        shutil.copy(args.setup, setup)
        installed = prefix.path(*INSTALLED)
        start_menu = prefix.path(*START_MENU)

        # A file where the program folder would go: nothing can be written.
        with open(installed, 'w') as blocker:
            blocker.write('not a folder')
        refused = prefix.run(setup, '/S')
        check.that(f'refused install: exit status {refused.returncode}, not 5', refused.returncode == 5)
        check.that('refused install left an uninstall entry', registry_values(prefix) is None)
        check.that('refused install made the Start menu folder', not os.path.exists(start_menu))
        check.that('refused install changed the file in the way', open(installed).read() == 'not a folder')
        os.remove(installed)

        for attempt in ('install', 'install over it'):
            status = prefix.run(setup, '/S').returncode
            check.that(f'{attempt}: exit status {status}', status == 0)
        for program in ('Tavrin/tavrin.exe', 'Morvex/morvex.exe', 'Pelurk/pelurk.exe',
                        'Tavrin/platforms/qwindows.dll', 'uninstall.exe'):
            check.that(f'{program} not installed', os.path.isfile(os.path.join(installed, program)))
        check.that('shortcuts', os.path.isdir(start_menu) and sorted(os.listdir(start_menu)) == SHORTCUTS)
        entry = registry_values(prefix) or {}
        for name, value in (('DisplayName', 'PLC Serial Kit'), ('DisplayVersion', args.version),
                            ('Publisher', 'PLC serial kit developers'),
                            ('DisplayIcon', r'C:\Program Files\PLC Serial Kit\Tavrin\tavrin.exe,0'),
                            ('QuietUninstallString', r'"C:\Program Files\PLC Serial Kit\uninstall.exe" /S')):
            check.that(f'uninstall entry {name}: {entry.get(name)!r}, not {value!r}', entry.get(name) == value)
        check.that(f"size {entry.get('EstimatedSize')} KiB", int(entry.get('EstimatedSize', '0'), 16) > 10000)

        run_tavrin_from_its_shortcut(prefix, far, args.icon, check)
        prefix.server('-k')

        # As Add/Remove Programs does; the uninstaller goes on from a copy of
        # itself, so the run ends when the Wine server has no program left.
        command = entry.get('QuietUninstallString', '').replace('"', '').rpartition(' /S')[0]
        prefix.run(command, '/S')
        prefix.server('-w')
        check.that('the program folder is still there', not os.path.exists(installed))
        check.that('the shortcuts are still there', not os.path.exists(start_menu))
        check.that('the uninstall entry is still there', registry_values(prefix) is None)
        check.that('the history file went with the program', history_files(prefix))
    log(f'{time.monotonic() - began:.1f} s in all')
    for fault in check.faults:
        log('FAIL:', fault)
    return 1 if check.faults else 0


if __name__ == '__main__':
    sys.exit(main())
