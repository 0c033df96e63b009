#!/usr/bin/env python3
"""Warm the laser up, fire 1000 pulses at constant energy and plot the energy of every pulse.

    PYTHONPATH=build/default/bindings/python/package python3 examples/constant_energy.py [DIR]

Runs on the simulated laser as fast as possible; writes energy.png (matplotlib) into DIR, or
energy.csv when matplotlib is not installed.
"""
import os
import sys

import morvand

directory = sys.argv[1] if len(sys.argv) > 1 else "example-laser"
morvand.write_settings(directory, model="LM-10", gas="KrF")

pulses, energies = [], []
with morvand.Laser("sim:1711", directory=directory, speed="max") as laser:
    laser.on("Warmingup", lambda left: print(f"\rwarming up: {left:5.0f} s left", end="") and False)
    laser.on("LaserRunning", lambda n, e: (pulses.append(n), energies.append(e)))
    laser.on("LaserMessenger", lambda text: print(f"\n{text}", end=""))
    laser.MorvandStatus(False)  # starts (and here waits out) the thyratron warm-up
    laser.RepRate = 100
    laser.mode = 1  # constant energy: the charging voltage follows SetEnergy
    laser.SetEnergy = laser.MaxEnergyVal / 2
    laser.MaxNum = 1000
    laser.LaserRun(0)  # returns when the 1000 pulses are fired
    print(f"\nfired {laser.PulseNum} pulses, set point {laser.SetEnergy:.1f}, "
          f"lifetime count {laser.CumTotalPulses}")

try:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
except ImportError:
    path = os.path.join(directory, "energy.csv")
    with open(path, "w", encoding="utf-8") as out:
        out.write("pulse,energy\n")
        out.writelines(f"{n},{e}\n" for n, e in zip(pulses, energies))
    print(f"matplotlib is not installed: wrote {path}")
else:
    fig, ax = plt.subplots(figsize=(8, 4))
    ax.plot(pulses, energies, ".", markersize=2)
    ax.set_xlabel("pulse")
    ax.set_ylabel("energy per pulse")
    ax.set_title("1000 pulses at constant energy")
    path = os.path.join(directory, "energy.png")
    fig.savefig(path, dpi=120)
    print(f"wrote {path}")
