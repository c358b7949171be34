#!/usr/bin/python3
# tavrin --record under a flood on two pseudo-terminals: prints the
# recorder's resident memory once a second and what it recorded, so that a
# memory that grows with the recording shows. Run by hand:
#
#   bench/bench_record_flood.py build/console/tavrin [seconds]
import os, pty, signal, subprocess, sys, tempfile, time, threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'scripts'))
from far_end import memory_summary, sample_memory

tavrin = sys.argv[1]
seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 30
masters, paths = [], []
for _ in range(2):
    m, s = pty.openpty()
    masters.append(m)
    paths.append(os.ttyname(s))
out = os.path.join(tempfile.mkdtemp(), 'flood.pcapng')
proc = subprocess.Popen([tavrin, '--record', paths[0], '--record', paths[1], '--output', out],
                        stderr=subprocess.PIPE)
stop = False
sent = [0, 0]
def flood(i):
    frame = bytes(range(1, 65))
    while not stop:
        try:
            sent[i] += os.write(masters[i], frame)
        except OSError:
            time.sleep(0.001)
        time.sleep(0.0005)
threads = [threading.Thread(target=flood, args=(i,)) for i in range(2)]
for t in threads:
    t.start()
samples = sample_memory(proc.pid, seconds, lambda: 'file %d bytes' % os.path.getsize(out))
stop = True
for t in threads:
    t.join()
proc.send_signal(signal.SIGTERM)
err = proc.communicate(timeout=30)[1].decode()
print(err.strip())
print('sent %d + %d bytes; %s' % (sent[0], sent[1], memory_summary(samples)))
os.remove(out)
