#!/usr/bin/python3
"""Motor-neuron rate against the drive synapse's K in the reflex arc, as a PNG.

    PYTHONPATH=build/python /usr/bin/python3 examples/rate_sweep.py [OUT.png]

Each value of K is one run of one second of model time, in a process of its own on this
machine's cores (pass a Dask client as executor= to run them on a cluster instead).
"""

import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt
import numpy as np

import talvero

SECONDS = 1.0
MODEL = Path(__file__).resolve().parent / "reflex_arc.tv"
PATH = "arc.motor.inh.drive.K"


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "rate_sweep.png"
    values = np.round(np.geomspace(0.05, 5.0, 16), 4)
    runs = talvero.sweep(MODEL, {PATH: values}, time=SECONDS, watch=["motorPulses"])
    ks, rates = [], []
    for run in runs:
        if run.error is not None:
            print(f"K={run.params[PATH]}: {run.error}", file=sys.stderr)
            continue
        ks.append(run.params[PATH])
        y = run.results["motorPulses"].y  # 1 while a pulse lasts, 0 between
        onsets = np.count_nonzero((y[1:] == 1) & (y[:-1] == 0)) + int(len(y) > 0 and y[0] == 1)
        rates.append(onsets / SECONDS)
    fig, ax = plt.subplots(figsize=(5, 3), dpi=80)
    ax.semilogx(ks, rates, "o-")
    ax.set_xlabel(f"{PATH} (drive synapse on the inhibitory unit)")
    ax.set_ylabel("motor neuron, pulses/s")
    ax.set_title("Reflex arc: rate against synaptic K")
    ax.grid(True, alpha=0.3)
    fig.tight_layout()
    fig.savefig(out)
    print(out)


if __name__ == "__main__":
    main()
