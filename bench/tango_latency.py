"""The device server seen by a PyTango client on the same machine: attribute read latency
(p50, p99) idle and during a 100 Hz run, and the rate of PulseNum and Energy change events a
client receives during that run. The simulated laser runs in real time. When the Python
package morvand is importable (PYTHONPATH=build/default/bindings/python/package), the
controller's own pass rate in the same run is measured too: one event per pass is the
most a client can get.
    MORVAND_TANGO_SERVER=build/default/servers/tango/morvand-tango \\
        python3 bench/tango_latency.py [samples] [seconds]
"""
import os
import sys
import tempfile
import time

import tango

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "servers", "tango"))
from tango_server import Recorder, Server, ready_laser, wait_for  # noqa: E402
from latency import measure as timed  # noqa: E402

samples = int(sys.argv[1]) if len(sys.argv) > 1 else 2000
seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0


def measure(what, fn, n):
    timed("Tango " + what, fn, n, width=46)


with tempfile.TemporaryDirectory() as directory:
    server = Server(["bench/laser/1"], directory, speed="1")
    try:
        laser = ready_laser(server.proxy())
        measure("read RepRate, idle", lambda: laser.RepRate, samples)
        measure("read 4 attributes in one call, idle",
                lambda: laser.read_attributes(["RepRate", "VoltSet", "PulseNum", "Energy"]),
                samples)
        laser.RepRate = 100
        laser.LaserRun(-1)
        wait_for(lambda: laser.PulseNum > 0, timeout=30, what="the first pulse")
        measure("read RepRate, 100 Hz run", lambda: laser.RepRate, samples)
        measure("read 4 attributes in one call, 100 Hz run",
                lambda: laser.read_attributes(["RepRate", "VoltSet", "PulseNum", "Energy"]),
                samples)
        pulses = Recorder(laser, "PulseNum")
        energies = Recorder(laser, "Energy")
        time.sleep(0.5)  # the first event holds the value at subscription
        first_pulses, first_energies = len(pulses.values), len(energies.values)
        start_count = laser.PulseNum
        t0 = time.perf_counter()
        time.sleep(seconds)
        elapsed = time.perf_counter() - t0
        got_pulses = len(pulses.values) - first_pulses
        got_energies = len(energies.values) - first_energies
        fired = laser.PulseNum - start_count
        pulses.close()
        energies.close()
        laser.LaserStop()
        wait_for(lambda: laser.state() == tango.DevState.STANDBY, what="STANDBY")
        print(f"Tango PulseNum events during a 100 Hz run     {got_pulses / elapsed:7.1f} /s"
              f"   Energy events {got_energies / elapsed:7.1f} /s   pulses fired "
              f"{fired / elapsed:7.1f} /s   ({elapsed:.1f} s)")
    finally:
        server.stop()

try:
    import morvand
except ImportError:
    morvand = None
if morvand is not None:
    with tempfile.TemporaryDirectory() as directory:
        morvand.write_settings(directory, model="LM-10", gas="KrF")
        with morvand.Laser("sim:1711", directory=directory) as laser:
            laser.on("Warmingup", lambda left: True)
            laser.MorvandStatus(False)
            laser.RepRate = 100
            laser.MaxNum = 50000000
            passes = []
            laser.on("LaserRunning", lambda pulses, energy: passes.append(pulses))
            run = laser.submit("LaserRun", -1)
            wait_for(lambda: passes and passes[-1] > 0, timeout=30, what="the first pulse")
            first, start = len(passes), passes[-1]
            t0 = time.perf_counter()
            time.sleep(seconds)
            elapsed = time.perf_counter() - t0
            count, fired = len(passes) - first, passes[-1] - start
            laser.LaserStop()
            run.result()
        print(f"Controller passes during a 100 Hz run          {count / elapsed:7.1f} /s"
              f"   pulses fired {fired / elapsed:7.1f} /s   ({elapsed:.1f} s)")
