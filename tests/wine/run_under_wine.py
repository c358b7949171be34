#!/usr/bin/env python3
"""Runs one function of the Windows test program (kit_wintests.exe) under
Wine, in a Wine prefix and on a virtual display made for this run and removed
afterwards.

COM5 of the prefix is a link to a pseudo-terminal's slave; this script plays
the far end (the master) as the function expects, and fails when either the
program or the far end finds a fault.

    run_under_wine.py --kit BUILD/windows --case serialPort

The case "lines" runs serial_wintests.exe instead, against the socket peer
(net/wintests/socket_peer.py) on this side.
"""
import argparse
import contextlib
import os
import select
import shutil
import subprocess
import sys
import tempfile
import termios
import threading
import time
import tty


def log(*parts):
    print('run_under_wine:', *parts, flush=True)


class FarEnd:
    """The master side of the pseudo-terminal behind COM5."""

    def __init__(self):
        self.master, self.slave = os.openpty()
        # Raw, so nothing is echoed, at a speed no test uses, so that the
        # program's open shows.
        tty.setraw(self.slave)
        attrs = termios.tcgetattr(self.slave)
        attrs[4] = attrs[5] = termios.B300
        termios.tcsetattr(self.slave, termios.TCSANOW, attrs)
        self.faults = []
        self.closed = False

    def slave_path(self):
        return os.ttyname(self.slave)

    def read_exactly(self, count, seconds):
        data = b''
        deadline = time.monotonic() + seconds
        while len(data) < count and time.monotonic() < deadline:
            ready, _, _ = select.select([self.master], [], [], 0.05)
            if ready:
                data += os.read(self.master, count - len(data))
        return data

    def wait_for_speed(self, speed, seconds):
        """The program opened the port: the line has its speed."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if termios.tcgetattr(self.slave)[4] == speed:
                return True
            time.sleep(0.02)
        return False

    def expect(self, what, got, wanted):
        if got != wanted:
            self.faults.append(f'{what}: got {got!r}, wanted {wanted!r}')

    def close(self):
        if not self.closed:
            os.close(self.master)
            self.closed = True


def serial_port_peer(far):
    # Bytes from before the open must be cleared by the open.
    os.write(far.master, b'stale bytes')
    got = far.read_exactly(256, 60)
    far.expect('bytes from the program', got, bytes(range(255, -1, -1)))
    attrs = termios.tcgetattr(far.slave)
    far.expect('input speed', attrs[4], termios.B19200)
    far.expect('output speed', attrs[5], termios.B19200)
    far.expect('two stop bits', bool(attrs[2] & termios.CSTOPB), True)
    far.expect('no hardware flow control', bool(attrs[2] & termios.CRTSCTS), False)
    far.expect('no software flow control', bool(attrs[0] & (termios.IXON | termios.IXOFF)), False)
    os.write(far.master, bytes(range(256)))
    far.expect('closing word', far.read_exactly(3, 30), b'BYE')
    far.close()


def tavrin_peer(far):
    if not far.wait_for_speed(termios.B9600, 60):
        far.faults.append('the program never opened COM5')
        return
    # The speed is set before the open clears the input: bytes written
    # at once could be cleared with it.
    time.sleep(1.0)
    attrs = termios.tcgetattr(far.slave)
    far.expect('speed', attrs[4], termios.B9600)
    far.expect('one stop bit', bool(attrs[2] & termios.CSTOPB), False)
    os.write(far.master, b'ABCDEFGHIJKLMNOPQRST')
    far.expect('history row', far.read_exactly(5, 60), bytes.fromhex('7E 00 FF 0D 0A'))


def morvex_peer(far):
    frame = far.read_exactly(8, 60)
    far.expect('FX frame', frame, bytes.fromhex('7E 35 60 45 37 31 40 7E'))
    attrs = termios.tcgetattr(far.slave)
    far.expect('speed', attrs[4], termios.B9600)
    far.expect('one stop bit', bool(attrs[2] & termios.CSTOPB), False)
    if frame:
        os.write(far.master, b'\x06')


PEERS = {
    'lines': None,
    'serialPort': serial_port_peer,
    'tavrin': tavrin_peer,
    'morvex': morvex_peer,
    'pelurk': None,
}


def wine_tools():
    """The 64-bit loader and server: a 32-bit Wine installed beside them
    would make plain `wine` pick a loader that cannot run here."""
    def first(*candidates):
        for candidate in candidates:
            path = candidate if os.path.isabs(candidate) else shutil.which(candidate)
            if path and os.access(path, os.X_OK):
                return path
        raise RuntimeError('no ' + candidates[-1] + ' found; install scripts/packages.txt')
    return (first('/usr/lib/wine/wine64', 'wine64', 'wine'),
            first('/usr/lib/wine/wineserver64', 'wineserver64', 'wineserver'))


def start_display(scratch):
    """A virtual display on a free number, chosen by Xvfb itself."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(write_end), '-screen', '0', '1280x1024x24',
                             '-nolisten', 'tcp'], pass_fds=[write_end],
                            stdout=subprocess.DEVNULL, stderr=open(os.path.join(scratch, 'xvfb.log'), 'w'))
    os.close(write_end)
    number = b''
    while not number.endswith(b'\n'):
        chunk = os.read(read_end, 16)
        if not chunk:
            raise RuntimeError('Xvfb did not start')
        number += chunk
    os.close(read_end)
    return xvfb, ':' + number.decode().strip()


class WinePrefix:
    """A 64-bit Wine prefix in `scratch`; start() makes it, on a virtual
    display and with one quiet Wine server, and close() stops them."""

    def __init__(self, scratch):
        self.env = dict(os.environ)
        self.env.update(WINEPREFIX=os.path.join(scratch, 'prefix'), WINEARCH='win64', WINEDEBUG='-all',
                        WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d', QT_QPA_PLATFORM='windows')
        self.env.pop('WAYLAND_DISPLAY', None)
        self.wine, self.wineserver = wine_tools()
        self.env.update(WINELOADER=self.wine, WINESERVER=self.wineserver)
        self.xvfb = None

    def start(self):
        self.xvfb, self.env['DISPLAY'] = start_display(os.path.dirname(self.env['WINEPREFIX']))
        # One server for the whole run, started quietly: one started by the
        # program would print its state on our output when it is stopped.
        os.mkdir(self.env['WINEPREFIX'])
        self.server('-p')
        self.run('wineboot.exe', '--init', check=True)

    def path(self, *parts):
        return os.path.join(self.env['WINEPREFIX'], *parts)

    def run(self, *arguments, **options):
        """A Windows program, quiet unless output is asked for."""
        options.setdefault('stdout', subprocess.DEVNULL)
        options.setdefault('stderr', subprocess.DEVNULL)
        return subprocess.run([self.wine, *arguments], env=self.env, **options)

    def server(self, *arguments):
        subprocess.run([self.wineserver, *arguments], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def close(self):
        self.server('-k')
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait()


@contextlib.contextmanager
def wine_session(name):
    """A scratch folder, a Wine prefix in it whose COM5 is a pseudo-terminal,
    and that terminal's far end: (scratch, prefix, far), removed at the end."""
    scratch = tempfile.mkdtemp(prefix=name)
    far = FarEnd()
    prefix = WinePrefix(scratch)
    try:
        prefix.start()
        os.symlink(far.slave_path(), prefix.path('dosdevices', 'com5'))
        yield scratch, prefix, far
    finally:
        prefix.close()
        far.close()
        os.close(far.slave)
        shutil.rmtree(scratch, ignore_errors=True)


def run_against_socket_peer(prefix, run):
    """serial_wintests.exe with the socket peer's two ports; the peer ends
    when its input closes."""
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'net', 'wintests',
                          'socket_peer.py')
    peer = subprocess.Popen([sys.executable, script], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        ports = peer.stdout.readline().strip()
        prefix.env['KIT_PEER_PORTS'] = ports
        return prefix.run('serial_wintests.exe', cwd=run, timeout=300, stdout=None, stderr=None)
    finally:
        prefix.env.pop('KIT_PEER_PORTS', None)
        peer.stdin.close()
        peer.wait(timeout=30)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--kit', required=True, help='the Windows build folder (with wintest/)')
    parser.add_argument('--case', required=True, choices=sorted(PEERS))
    args = parser.parse_args()

    began = time.monotonic()
    with wine_session('kit-wine-') as (scratch, prefix, far):
        if args.case in ('morvex', 'pelurk'):
            # GetVersion then reports the NT 5 family, whose registry lookup
            # the discovery scan uses.
            prefix.run('winecfg.exe', '-v', 'winxp64', check=True)
        prepared = time.monotonic()

        run = os.path.join(scratch, 'run')
        shutil.copytree(os.path.join(args.kit, 'wintest'), run)
        peer = PEERS[args.case]
        thread = threading.Thread(target=peer, args=(far,), daemon=True) if peer else None
        if thread:
            thread.start()
        if args.case == 'lines':
            program = run_against_socket_peer(prefix, run)
        else:
            program = prefix.run('kit_wintests.exe', args.case, cwd=run, timeout=300, stdout=None, stderr=None)
        if thread:
            thread.join(timeout=30)
            if thread.is_alive():
                far.faults.append('the far end was still waiting when the program ended')
        finished = time.monotonic()
        log(f'{args.case}: prefix ready in {prepared - began:.1f} s, test {finished - prepared:.1f} s,'
            f' exit status {program.returncode} ({program.returncode & 0xFFFFFFFF:#010x})')
        for fault in far.faults:
            log('far end:', fault)
        return 0 if program.returncode == 0 and not far.faults else 1


if __name__ == '__main__':
    sys.exit(main())
