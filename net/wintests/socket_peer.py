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


def serve(conn):
    with conn:
        conn.settimeout(60)
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
