#!/usr/bin/python3
# tavrin --record under a flood on two pseudo-terminals: prints the
# recorder's resident memory once a second and what it recorded, so that a
# memory that grows with the recording shows. Run by hand:
#
#   bench/bench_record_flood.py build/console/tavrin [seconds]
import os, pty, signal, subprocess, sys, tempfile, time, threading

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
def rss():
    with open('/proc/%d/status' % proc.pid) as f:
        for line in f:
            if line.startswith('VmRSS'):
                return int(line.split()[1])
samples = []
for second in range(seconds):
    time.sleep(1)
    samples.append(rss())
    print('%3d s: %6d KiB resident, file %d bytes' % (second + 1, samples[-1], os.path.getsize(out)), flush=True)
stop = True
for t in threads:
    t.join()
proc.send_signal(signal.SIGTERM)
err = proc.communicate(timeout=30)[1].decode()
print(err.strip())
print('sent %d + %d bytes; resident at 5 s %d KiB, at the end %d KiB, most %d KiB'
      % (sent[0], sent[1], samples[min(4, len(samples) - 1)], samples[-1], max(samples)))
os.remove(out)
