"""Latency of a property read and a short method call through the Python package, idle and
during a run on the simulated laser in real time (p50, p99).
    PYTHONPATH=build/default/bindings/python/package python3 bench/python_latency.py [samples]
"""
import sys
import tempfile
import time

import morvand

samples = int(sys.argv[1]) if len(sys.argv) > 1 else 2000


def measure(what, fn, n):
    us = []
    for _ in range(n):
        t0 = time.perf_counter()
        fn()
        us.append((time.perf_counter() - t0) * 1e6)
    us.sort()
    print(f"Python {what:<35} p50 {us[len(us) // 2]:9.1f} us   p99 {us[len(us) * 99 // 100]:9.1f} us"
          f"   (n={n})")


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
