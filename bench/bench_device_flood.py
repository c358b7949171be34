#!/usr/bin/python3
# tavrin --answer-as-device under a master that floods requests on a
# pseudo-terminal and reads the answers: prints the device's resident
# memory once a second, and the requests sent and answers read, so that a
# memory that grows with the flood shows. Run by hand:
#
#   bench/bench_device_flood.py build/console/tavrin [seconds]
import os, pty, signal, subprocess, sys, tempfile, time, threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'scripts'))
from far_end import memory_summary, sample_memory, with_crc as crc

tavrin = sys.argv[1]
seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 20
master, slave = pty.openpty()
path = os.ttyname(slave)
table = os.path.join(tempfile.mkdtemp(), 'flood.csv')
with open(table, 'w') as f:
    f.write(''.join('holding,%d,%d\n' % (a, a) for a in range(125)))
proc = subprocess.Popen([tavrin, '--answer-as-device', path + ',115200,n,8,1', '--unit', '1', '--table', table],
                        stderr=subprocess.PIPE)
time.sleep(2)
stop = False
sent = [0]
read = [0]
request = crc(bytes([1, 3, 0, 0, 0, 125]))  # 125 registers: 255-byte answers
def flood():
    while not stop:
        try:
            sent[0] += os.write(master, request * 16) // len(request)
        except OSError:
            time.sleep(0.001)
        time.sleep(0.001)
def drain():
    while not stop:
        try:
            read[0] += len(os.read(master, 65536))
        except OSError:
            time.sleep(0.001)
threads = [threading.Thread(target=flood), threading.Thread(target=drain)]
for t in threads:
    t.start()
samples = sample_memory(proc.pid, seconds,
                        lambda: '%d requests sent, %d answers read' % (sent[0], read[0] // 255))
stop = True
proc.send_signal(signal.SIGTERM)
err = proc.communicate(timeout=30)[1].decode()
for t in threads:
    t.join()
print(err.strip())
print(memory_summary(samples))
os.remove(table)
