#!/usr/bin/python3
# tavrin --answer-as-device under a master that floods requests on a
# pseudo-terminal and reads the answers: prints the device's resident
# memory once a second, and the requests sent and answers read, so that a
# memory that grows with the flood shows. Run by hand:
#
#   bench/bench_device_flood.py build/console/tavrin [seconds]
#       [--capture] [--requests N] [--baud B]
#
# The device answers from a register table, or with --capture from a
# recording of the same exchange (a traffic view export). --requests stops
# the flood once N requests are written and waits for the last answers;
# the figures at the end are the answers a second, the device's summary
# (its drops) and its resident memory before the flood and at the end.
import argparse, os, pty, select, signal, subprocess, sys, tempfile, time, threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'scripts'))
from far_end import memory_summary, resident_kib, with_crc as crc

ap = argparse.ArgumentParser()
ap.add_argument('tavrin')
ap.add_argument('seconds', type=int, nargs='?', default=20)
ap.add_argument('--capture', action='store_true', help='answer from a recording instead of a table')
ap.add_argument('--requests', type=int, default=0, help='stop the flood after this many requests')
ap.add_argument('--baud', type=int, default=115200)
a = ap.parse_args()

master, slave = pty.openpty()
path = os.ttyname(slave)
folder = tempfile.mkdtemp()
request = crc(bytes([1, 3, 0, 0, 0, 125]))  # 125 registers: 255-byte answers
answer = crc(bytes([1, 3, 250]) + b''.join(r.to_bytes(2, 'big') for r in range(125)))
if a.capture:
    source = os.path.join(folder, 'flood.csv')
    with open(source, 'w') as f:
        f.write('time,panel,port,gap_ms,length,hex,text,check,event\n'
                '2026-12-07T14:03:11.000,left,COM1,,8,%s,,,\n'
                '2026-12-07T14:03:11.010,right,COM2,1.0,255,%s,,,\n'
                % (request.hex(' ').upper(), answer.hex(' ').upper()))
    answering = ['--from-capture', source, '--reply-delay', '0']
else:
    source = os.path.join(folder, 'flood.csv')
    with open(source, 'w') as f:
        f.write(''.join('holding,%d,%d\n' % (r, r) for r in range(125)))
    answering = ['--table', source]
proc = subprocess.Popen([a.tavrin, '--answer-as-device', '%s,%d,n,8,1' % (path, a.baud), '--unit', '1'] + answering,
                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
time.sleep(2)
start_kib = resident_kib(proc.pid)
stop = False
sent = [0]
read = [0]
def flood():
    while not stop and (not a.requests or sent[0] < a.requests):
        batch = 16 if not a.requests else min(16, a.requests - sent[0])
        try:
            sent[0] += os.write(master, request * batch) // len(request)
        except OSError:
            time.sleep(0.001)
        time.sleep(0.001)
def drain():
    while not stop:
        # Never blocked in a read once the flood is over.
        if not select.select([master], [], [], 0.1)[0]:
            continue
        try:
            read[0] += len(os.read(master, 65536))
        except OSError:
            time.sleep(0.001)
threads = [threading.Thread(target=flood), threading.Thread(target=drain)]
began = time.monotonic()
for t in threads:
    t.start()
samples = []
last_read, quiet = -1, 0
for second in range(10 ** 6 if a.requests else a.seconds):
    time.sleep(1)
    samples.append(resident_kib(proc.pid))
    print('%3d s: %6d KiB resident, %d requests sent, %d answers read'
          % (second + 1, samples[-1], sent[0], read[0] // 255), flush=True)
    if a.requests and sent[0] >= a.requests:
        # Done once two seconds pass without an answer.
        quiet = quiet + 1 if read[0] == last_read else 0
        if quiet >= 2:
            break
    last_read = read[0]
elapsed = time.monotonic() - began - (2 if a.requests else 0)
stop = True
proc.send_signal(signal.SIGTERM)
err = proc.communicate(timeout=30)[1].decode()
for t in threads:
    t.join()
print(err.strip())
print(memory_summary(samples))
print('%s: %d requests sent, %d answers read in %.1f s: %.0f answers a second; resident %d KiB before the flood, '
      '%d KiB at the end' % ('capture' if a.capture else 'table', sent[0], read[0] // 255, elapsed,
                             read[0] / 255 / elapsed, start_kib, samples[-1]))
os.remove(source)
os.rmdir(folder)
