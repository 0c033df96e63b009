"""Starting and stopping morvand-tango on a loopback port for the tests and the benchmark."""
import os
import select
import signal
import socket
import subprocess
import time

import tango

SERVER = os.environ.get("MORVAND_TANGO_SERVER", "morvand-tango")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(condition, timeout=10.0, what="the condition"):
    """Polls condition() until it is true; fails after timeout seconds."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.01)


class Server:
    """One server instance holding the given devices, without a database (or with the file
    database `db`)."""

    def __init__(self, devices, data_dir, speed="20", db=None, env=None, instance="test"):
        self.port = free_port()
        self.devices = devices
        args = [SERVER, instance]
        if db is None:
            args += ["-nodb", "-dlist", ",".join(devices)]
        else:
            args += [f"-file={db}"]
        args += ["-ORBendPoint", f"giop:tcp:127.0.0.1:{self.port}"]
        environment = dict(os.environ, XDG_DATA_HOME=str(data_dir))
        if speed is not None:
            environment["MORVAND_TANGO_SPEED"] = speed
        environment.update(env or {})
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        env=environment)
        output = b""
        end = time.monotonic() + 20
        while b"Ready to accept request" not in output:
            if self.process.poll() is not None or time.monotonic() > end:
                self.stop()
                raise RuntimeError("morvand-tango did not start: " + output.decode(errors="replace"))
            ready, _, _ = select.select([self.process.stdout], [], [], 0.1)
            if ready:
                output += os.read(self.process.stdout.fileno(), 4096)

    def address(self, device):
        return f"tango://127.0.0.1:{self.port}/{device}#dbase=no"

    def proxy(self, device=None):
        return tango.DeviceProxy(self.address(device or self.devices[0]))

    def alive(self):
        return self.process.poll() is None

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        return self.process.returncode


def ready_laser(device):
    """Settings written, card open, the first warm-up skipped: the device in STANDBY."""
    if device.state() == tango.DevState.FAULT:
        device.WriteSettings(["LM-10", "KrF"])
    device.MorvandStatus(False)  # the first pass starts the thyratron warm-up
    wait_for(lambda: device.ThyState or device.state() == tango.DevState.STANDBY, what="warm-up")
    device.ThySkip()
    wait_for(lambda: device.state() == tango.DevState.STANDBY, what="STANDBY")
    device.RepRate = 100
    device.MaxNum = 50000000
    return device


class Recorder:
    """Collects the values of a change event."""

    def __init__(self, device, attribute):
        self.values = []
        self.device = device
        self.id = device.subscribe_event(attribute, tango.EventType.CHANGE_EVENT, self)

    def __call__(self, event):
        if not event.err:
            self.values.append(event.attr_value.value)

    def close(self):
        self.device.unsubscribe_event(self.id)


def start_run(device, start=None):
    """Starts a run (start() does it; default LaserRun(-1)) and returns once it fires, so
    that PulseNum counts this run's pulses, not the last one's."""
    texts = Recorder(device, "LaserMessenger")
    try:
        (start or (lambda: device.LaserRun(-1)))()
        wait_for(lambda: "Laser Running" in texts.values, what="the run to fire")
    finally:
        texts.close()
