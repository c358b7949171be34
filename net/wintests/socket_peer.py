#!/usr/bin/env python3
"""The far end of the Windows socket tests (net_wintests.exe under Wine): a
listener on this side of Wine. It prints two port numbers on one line, the
one it listens on and one bound but not listening (a connect there is
refused), and serves each connection by the word in its first line:

  echo   takes the 256 byte values in telnet form (0xFF doubled), answers
         IAC WILL BINARY, the 256 values descending in telnet form and a
         NOTIFY-MODEMSTATE, then closes; wrong bytes are answered "WRONG".
  bulk   waits a while (the sender's buffers fill), then takes everything
         up to the sender's shutdown and answers "<count> <sum of bytes>\\n".
  reset  drops the connection with a reset (SO_LINGER 0).

A connection that starts with IAC is an RFC 2217 client: it is agreed with,
each line setting is confirmed as asked, and once the 256 byte values came
as data (0xFF doubled on the wire) the 256 values descending go back in
telnet form and the connection is closed; wrong data is answered "WRONG".

It ends when its standard input closes, or after 10 minutes in any case.
"""
import socket
import struct
import sys
import threading
import time


def escaped(data):
    return data.replace(b'\xff', b'\xff\xff')


def read_line(conn):
    line = b''
    while not line.endswith(b'\n'):
        piece = conn.recv(1)
        if not piece:
            return None
        line += piece
    return line.strip()


def read_exactly(conn, count):
    data = b''
    while len(data) < count:
        piece = conn.recv(count - len(data))
        if not piece:
            break
        data += piece
    return data


def serve_rfc2217(conn, first):
    """The server side of telnet with the COM-PORT-OPTION, as far as the
    client's open and its data need it."""
    data = b''
    state, verb, sub = 'data', 0, b''
    pending = first
    while len(data) < 256:
        for b in pending:
            if state == 'data':
                if b == 0xFF:
                    state = 'iac'
                else:
                    data += bytes([b])
            elif state == 'iac':
                if b == 0xFF:
                    data += b'\xff'
                    state = 'data'
                elif b in (0xFB, 0xFC, 0xFD, 0xFE):
                    verb, state = b, 'verb'
                elif b == 0xFA:
                    sub, state = b'', 'sub'
                else:
                    state = 'data'
            elif state == 'verb':
                # WILL -> DO, DO -> WILL: every option the client asks for.
                if verb in (0xFB, 0xFD):
                    conn.sendall(bytes([0xFF, 0xFD if verb == 0xFB else 0xFB, b]))
                state = 'data'
            elif state == 'sub':
                if b == 0xFF:
                    state = 'subiac'
                else:
                    sub += bytes([b])
            elif state == 'subiac':
                if b == 0xF0:
                    if len(sub) >= 2 and sub[0] == 44 and 1 <= sub[1] <= 12:
                        conn.sendall(b'\xff\xfa\x2c' + bytes([sub[1] + 100]) + escaped(sub[2:]) + b'\xff\xf0')
                    state = 'data'
                else:
                    sub += bytes([b])
                    state = 'sub'
        if len(data) >= 256:
            break
        pending = conn.recv(4096)
        if not pending:
            return
    if data[:256] != bytes(range(256)):
        conn.sendall(b'WRONG')
        return
    conn.sendall(escaped(bytes(range(255, -1, -1))))


def serve(conn):
    with conn:
        conn.settimeout(60)
        first = conn.recv(1, socket.MSG_PEEK)
        if first == b'\xff':
            serve_rfc2217(conn, b'')
            return
        word = read_line(conn)
        if word == b'echo':
            wanted = escaped(bytes(range(256)))
            got = read_exactly(conn, len(wanted))
            if got != wanted:
                conn.sendall(b'WRONG')
                return
            conn.sendall(b'\xff\xfb\x00' + escaped(bytes(range(255, -1, -1)))
                         + b'\xff\xfa\x2c\x6b\x30\xff\xf0')
        elif word == b'bulk':
            time.sleep(1.0)
            count = total = 0
            while True:
                piece = conn.recv(1 << 16)
                if not piece:
                    break
                count += len(piece)
                total += sum(piece)
            conn.sendall(f'{count} {total}\n'.encode())
        elif word == b'reset':
            conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))


def main():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(('127.0.0.1', 0))
    listener.listen(8)
    refusing = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    refusing.bind(('127.0.0.1', 0))
    print(listener.getsockname()[1], refusing.getsockname()[1], flush=True)

    def accept():
        while True:
            conn, _ = listener.accept()
            threading.Thread(target=serve, args=(conn,), daemon=True).start()

    threading.Thread(target=accept, daemon=True).start()
    watch = threading.Thread(target=sys.stdin.read, daemon=True)
    watch.start()
    watch.join(timeout=600)


if __name__ == '__main__':
    main()
