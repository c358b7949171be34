# The far ends of pseudo-terminals for the screenshot scripts and the
# benchmarks written in Python: Modbus RTU frames with their CRC, lines whose
# names the shell side waits for, and a process's resident memory.
import os
import time
import tty


def with_crc(frame):
    """The frame followed by its Modbus CRC-16, low byte first."""
    c = 0xFFFF
    for b in frame:
        c ^= b
        for _ in range(8):
            c = (c >> 1) ^ 0xA001 if c & 1 else c >> 1
    return frame + bytes([c & 0xFF, c >> 8])


def open_lines(folder, names):
    """A raw pseudo-terminal per name; each line's path is written to
    folder/name once it is open (renamed in place, so a reader never sees
    half a name). Returns the far ends in the order of the names."""
    ends = []
    for name in names:
        far, near = os.openpty()
        tty.setraw(near)
        with open(os.path.join(folder, name + ".tmp"), "w") as f:
            f.write(os.ttyname(near))
        os.rename(os.path.join(folder, name + ".tmp"), os.path.join(folder, name))
        ends.append(far)
    return ends


def resident_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS"):
                return int(line.split()[1])
    return 0


def sample_memory(pid, seconds, describe):
    """The process's resident memory once a second for the seconds given,
    each printed with what describe() says of that moment."""
    samples = []
    for second in range(seconds):
        time.sleep(1)
        samples.append(resident_kib(pid))
        print("%3d s: %6d KiB resident, %s" % (second + 1, samples[-1], describe()), flush=True)
    return samples


def memory_summary(samples):
    return "resident at 5 s %d KiB, at the end %d KiB, most %d KiB" % (
        samples[min(4, len(samples) - 1)], samples[-1], max(samples))
