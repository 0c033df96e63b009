"""Control of a pulsed gas laser through its data-acquisition card, or the simulated laser.

    import morvand
    morvand.write_settings("lab", model="LM-10", gas="KrF")
    with morvand.Laser("sim:1711", directory="lab", speed="max") as laser:
        laser.RepRate = 100
        laser.on("LaserRunning", lambda pulses, energy: ...)
        laser.LaserRun(0)

Every property and method of the controller is an attribute of Laser with the controller's
own name; the controller runs on a thread of its own, so a call from another Python thread
(laser.LaserStop()) reaches a running operation at its next pass.
"""
from ._morvand import (  # noqa: F401
    BackendError,
    ClosedError,
    Error,
    FloatError,
    IndexError,
    Laser,
    ListError,
    OverflowError,
    SettingsError,
    Simulator,
    models,
    write_settings,
)

EVENTS = tuple(__import__("morvand._morvand", fromlist=["_events"])._events())

__all__ = [
    "BackendError", "ClosedError", "Error", "FloatError", "IndexError", "Laser", "ListError",
    "OverflowError", "SettingsError", "Simulator", "EVENTS", "models", "write_settings",
]
