#!/usr/bin/python3
"""The generated benchmark network (bench_network --write-model=N) in Brian2's C++ standalone mode.

Reads the links of the written model, so both simulators compute the same connectivity, and builds
the same per-step work: every synapse's transmitter level and conductance each step, two ion units
and a low-threshold zone per neuron, a 20 Hz pulse generator into every tenth neuron.

usage: brian2_network.py MODEL.tv [SECONDS] [BUILD_DIR]
Prints the times of code generation and compilation and of the run of the built program alone,
and the bytes per synapse of the built program's peak resident memory.
"""
import os
import re
import subprocess
import sys
import time

import numpy as np
from brian2 import (NeuronGroup, Synapses, SpikeMonitor, SpikeGeneratorGroup, defaultclock, device, ms, run,
                    second, set_device, prefs)


def links(path):
    pattern = re.compile(r"link c(\d+):c(\d+)\.(exc|inh)\.s\d+;")
    drive = re.compile(r"link drive:net\.c(\d+)\.exc\.sg;")
    pre = {"exc": [], "inh": []}
    post = {"exc": [], "inh": []}
    driven = []
    n = 0
    with open(path) as f:
        for line in f:
            m = pattern.match(line)
            if m:
                pre[m.group(3)].append(int(m.group(1)))
                post[m.group(3)].append(int(m.group(2)))
                continue
            m = drive.match(line)
            if m:
                driven.append(int(m.group(1)))
            elif line.startswith("Neuron c"):
                n += 1
    return n, pre, post, driven


def main():
    model = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 1.0
    build = sys.argv[3] if len(sys.argv) > 3 else "brian2_build"
    n, pre, post, driven = links(model)
    set_device("cpp_standalone", directory=build, build_on_run=False)
    prefs.devices.cpp_standalone.openmp_threads = 0
    defaultclock.dt = 0.1 * ms
    dt = 0.1e-3

    # Two ion units (R = 8e6, C = 2.5e-9, MaxIntensity 1 and -0.5) feed the zone's two filters
    # (time constants 0.05 s, 0.1 s while firing, K = 1); the membrane halves within 1 ms.
    neurons = NeuronGroup(n, """
        ge : 1
        gd : 1
        gi : 1
        ie : 1
        ii : 1
        f1 : 1
        f2 : 1
        v : 1
        firing : 1
        """, threshold="v > 0.001 and firing == 0", reset="firing = 11", method="euler")
    neurons.run_regularly("""
        ae = 1 + 8e6 * (ge + gd)
        ai = 1 + 8e6 * gi
        ie = ie + dt_ * ae * (1 - ae * ie) / (0.02 + dt_ * ae * ae / 2)
        ii = ii + dt_ * ai * (-0.5 - ai * ii) / (0.02 + dt_ * ai * ai / 2)
        f1 = f1 + (int(firing == 0) * ii - int(firing > 0) - f1) * dt_ / (dt_ / 2 + 0.05 + 0.05 * int(firing > 0))
        f2 = f2 + (int(firing == 0) * ie - int(firing > 0) - f2) * dt_ / (dt_ / 2 + 0.05 + 0.05 * int(firing > 0))
        v = v + (int(firing == 0) * (f1 + f2) - int(firing > 0) * 0.001 - v) / (0.001 / 0.6931471805599453 / dt_ + 0.5)
        firing = firing - int(firing > 0)
        """.replace("dt_", repr(dt)), when="groups", order=0)

    # Each synapse: the level rises towards 1 for the 11 steps of a pulse (0.001 s), else decays
    # (0.005 s); its conductance (K = 0.5, Ri = 5e9, Rs = 1e7) is summed into its unit.
    synapse_model = """
        m : 1
        left : 1
        g = (m / 0.5) / (int(m >= 0.5) * (m / 0.5 - 1) * 5e9 + 1e7) : 1
        {target}_post = g : 1 (summed)
        """
    groups = []
    for kind, target in (("exc", "ge"), ("inh", "gi")):
        s = Synapses(neurons, neurons, synapse_model.format(target=target), on_pre="left = 11")
        s.connect(i=np.array(pre[kind]), j=np.array(post[kind]))
        s.run_regularly("""
            m = m + (int(left > 0) - m) / ((0.001 * int(left > 0) + 0.005 * int(left == 0)) / {dt} + 0.5)
            left = left - int(left > 0)
            """.format(dt=repr(dt)), when="before_groups")
        groups.append(s)
    period = 50 * ms
    steps = int(round(seconds / 0.05))
    drive = SpikeGeneratorGroup(1, np.zeros(steps, dtype=int), np.arange(steps) * period)
    # A summed variable of its own: Brian2 takes one group of synapses per summed target.
    sd = Synapses(drive, neurons, synapse_model.format(target="gd"), on_pre="left = 11")
    sd.connect(i=0, j=np.array(driven))
    sd.run_regularly("""
        m = m + (int(left > 0) - m) / ((0.001 * int(left > 0) + 0.005 * int(left == 0)) / {dt} + 0.5)
        left = left - int(left > 0)
        """.format(dt=repr(dt)), when="before_groups")
    # Every pulse is recorded; talvero records every tenth neuron, a small share of the work.
    watch = SpikeMonitor(neurons)

    started = time.perf_counter()
    run(seconds * second)
    device.build(directory=build, compile=True, run=False)
    built = time.perf_counter()
    child = subprocess.run(["/usr/bin/time", "-f", "%e %U %M", "./main"], cwd=build, capture_output=True, text=True)
    wall, user, peak_kb = child.stderr.strip().splitlines()[-1].split()
    synapses = sum(len(pre[k]) for k in pre) + len(driven)
    print(f"neurons {n} synapses {synapses}")
    print(f"brian2 generate+compile s {built - started:.2f}")
    print(f"brian2 run s {float(wall):.2f}")
    print(f"brian2 run cpu s {float(user):.2f}")
    print(f"brian2 peak bytes per synapse {int(peak_kb) * 1024 / synapses:.1f}")


if __name__ == "__main__":
    main()
