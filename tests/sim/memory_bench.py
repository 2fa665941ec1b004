#!/usr/bin/env python3
"""Peak memory of a long simulated run (a benchmark, not a test).

Runs ravelo-sim on a generated scenario of N volume presses, alternating up and down with different
sounds (so every press creates, plays and disposes a sound), and reports the peak resident memory
(VmHWM) of ravelo-sim and of its SpringBoard process, and the run's wall time.

  tests/sim/memory_bench.py build/sim/ravelo-sim 1000 10000 100000
  tests/sim/memory_bench.py --record build/sim/ravelo-sim 6000     # 6,000 presses: a 30-minute recording
  tests/sim/memory_bench.py --device-binaries arm64 build/sim/ravelo-sim 10000   # the device binaries
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time


def scenario(presses):
    lines = ["set enabled true", "set VolumeUpC true", "set VolumeDownC true",
             "set VolumeUpSound 40", "set VolumeDownSound 11"]
    lines += ["volume-up" if i % 2 == 0 else "volume-down" for i in range(presses)]
    return "\n".join(lines) + "\n"


def peak_kb(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def children(pid):
    try:
        with open(f"/proc/{pid}/task/{pid}/children") as f:
            return [int(p) for p in f.read().split()]
    except OSError:
        return []


def name(pid):
    try:
        with open(f"/proc/{pid}/comm") as f:
            return f.read().strip()
    except OSError:
        return ""


def measure(sim, presses, record, device_binaries):
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "run.txt")
        with open(path, "w") as f:
            f.write(scenario(presses))
        args = [sim]
        if device_binaries:
            args += ["--device-binaries", device_binaries]
        if record:
            args += ["--record", os.path.join(folder, "run.wav")]
        args.append(path)
        start = time.monotonic()
        # Its errors go to a file: a pipe nobody reads until the run ends would stall it once full.
        errors_file = open(os.path.join(folder, "errors.txt"), "w+")
        run = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=errors_file)
        sim_peak = springboard_peak = 0
        while run.poll() is None:
            sim_peak = max(sim_peak, peak_kb(run.pid))
            for child in children(run.pid):
                if name(child).startswith("ravelo-springbo"):
                    springboard_peak = max(springboard_peak, peak_kb(child))
            time.sleep(0.05)
        elapsed = time.monotonic() - start
        errors_file.seek(0)
        errors = errors_file.read()
        errors_file.close()
        wav = os.path.join(folder, "run.wav")
        wav_size = os.path.getsize(wav) if record and os.path.exists(wav) else 0
    return run.returncode, sim_peak, springboard_peak, elapsed, wav_size, errors


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("sim", help="the ravelo-sim to run")
    parser.add_argument("presses", type=int, nargs="+", help="volume presses per run (300 ms of scenario clock each)")
    parser.add_argument("--record", action="store_true", help="record the run's audio to a WAV file")
    parser.add_argument("--device-binaries", metavar="ARCH", help="run the device binaries under emulation")
    options = parser.parse_args()
    print(f"{'presses':>8} {'clock':>9} {'ravelo-sim MB':>14} {'SpringBoard MB':>15} {'wall s':>7} {'WAV MB':>8}  exit")
    for presses in options.presses:
        status, sim_kb, sb_kb, elapsed, wav, errors = measure(options.sim, presses, options.record, options.device_binaries)
        minutes = presses * 0.3 / 60
        print(f"{presses:>8} {minutes:>7.1f}min {sim_kb / 1024:>14.1f} {sb_kb / 1024:>15.1f} {elapsed:>7.1f} "
              f"{wav / 1e6:>8.1f}  {status}")
        if status != 0:
            sys.stderr.write(errors[-2000:])
    return 0


if __name__ == "__main__":
    sys.exit(main())
