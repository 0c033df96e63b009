"""Latency of a property read and a short method call through the Python package, idle and
during a run on the simulated laser in real time (p50, p99).
    PYTHONPATH=build/default/bindings/python/package python3 bench/python_latency.py [samples]
"""
import sys
import tempfile
import time

import morvand
from latency import measure as timed

samples = int(sys.argv[1]) if len(sys.argv) > 1 else 2000


def measure(what, fn, n):
    timed("Python " + what, fn, n, width=42)


with tempfile.TemporaryDirectory() as directory:
    morvand.write_settings(directory, model="LM-10", gas="KrF")
    with morvand.Laser("sim:1711", directory=directory) as laser:
        laser.on("Warmingup", lambda left: True)
        laser.MorvandStatus(False)
        laser.RepRate = 100
        laser.MaxNum = 50000000
        measure("idle: property read (RepRate)", lambda: laser.RepRate, samples)
        measure("idle: short method (myTimer)", laser.myTimer, samples)
        run = laser.submit("LaserRun", 0)
        time.sleep(0.3)
        measure("running: property read (RepRate)", lambda: laser.RepRate, samples // 4)
        measure("running: short method (myTimer)", laser.myTimer, samples // 4)
        laser.LaserStop()
        run.result()
