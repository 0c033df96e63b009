"""The Python package on the simulated laser running as fast as possible: runs stopped from
another thread and from a callback, a refill ending in an injected fault's message, every
property with its type, clear errors, and settings written back on leaving the with block."""
import builtins
import threading

import pytest

import morvand
from morvand import _morvand

TYPES = {"Boolean": bool, "Int16": int, "Int32": int, "Single": float, "Double": float,
         "String": str}


@pytest.fixture
def directory(tmp_path):
    morvand.write_settings(str(tmp_path), model="LM-10", gas="KrF")
    return tmp_path


@pytest.fixture
def laser(directory):
    with morvand.Laser("sim:1711", directory=str(directory), speed="max") as laser:
        laser.on("Warmingup", lambda seconds_left: True)  # end the first warm-up at once
        laser.MorvandStatus(False)
        laser.RepRate = 50
        laser.MaxNum = 50000000
        yield laser


def test_a_run_is_stopped_from_another_thread_within_one_pass(laser):
    passes = []
    first = threading.Event()

    def running(pulses, energy):
        passes.append(pulses)
        if pulses > 0:  # the first pass may come before the first pulse is counted
            first.set()

    laser.on("LaserRunning", running)
    runner = threading.Thread(target=laser.LaserRun, args=(0,))
    runner.start()
    assert first.wait(20)
    laser.LaserStop()
    at_stop = len(passes)
    runner.join(20)
    assert not runner.is_alive()
    assert len(passes) - at_stop <= 1
    assert laser.CumTotalPulses > 0


def test_a_run_is_stopped_from_its_own_callback_and_a_failing_callback_ends_the_run(laser):
    messages = []
    laser.on("LaserMessenger", messages.append)
    laser.on("LaserRunning", lambda pulses, energy: pulses >= 100 and laser.LaserStop())
    laser.LaserRun(0)
    assert laser.PulseNum >= 100
    assert messages[-1] == "Laser Operation Stopped"

    def failing(pulses, energy):
        raise KeyError("host failed")

    laser.on("LaserRunning", failing)
    with pytest.raises(KeyError, match="host failed"):
        laser.LaserRun(0)
    future = laser.submit("LaserRun", 0)
    with pytest.raises(KeyError):
        future.result(timeout=20)


def test_a_refill_with_the_premix_empty_ends_in_its_message(laser):
    messages = []
    laser.on("LaserMessenger", messages.append)
    laser.simulator.inject("premix-empty")
    assert "premix-empty" in laser.simulator.faults
    future = laser.submit("GasAutoRefill")
    assert future.result(timeout=60) is None
    assert messages[-1] == ("FILL FAILURE, THERE IS NO CHANGE IN GAS PRESSURE DURING GAS "
                            "REFILL")


def test_every_property_and_method_is_there_with_its_type(laser):
    properties = _morvand._properties()
    assert len(properties) == 87
    for name, table_type, _ in properties:
        value = getattr(laser, name)
        assert type(value) is TYPES[table_type], name
    methods = _morvand._methods()
    assert len(methods) == 110
    assert all(callable(getattr(laser, name)) for name, *_ in methods)
    assert laser.CounterRead.__doc__.startswith("CounterRead(CounterNum: Int16) -> Boolean")
    # By-reference results come back with the result.
    ok, volts = laser.MotorVSet(3.0)
    assert isinstance(ok, bool) and isinstance(volts, float)
    assert laser.CounterRead(CounterNum=0) in (True, False)


def test_bad_names_and_wrong_types_give_clear_errors(laser, directory):
    with pytest.raises(AttributeError):
        laser.RepRat
    with pytest.raises(TypeError, match="RepRate must be int"):
        laser.RepRate = "fast"
    with pytest.raises(TypeError, match="PopupMessage must be bool"):
        laser.PopupMessage = 1
    with pytest.raises(morvand.OverflowError) as error:
        laser.LaserStatus = 70000
    assert isinstance(error.value, builtins.OverflowError)
    with pytest.raises(builtins.IndexError) as error:
        laser.CounterRead(7)
    assert isinstance(error.value, morvand.IndexError)
    with pytest.raises(TypeError, match="takes 1 arguments"):
        laser.CounterRead(0, 1)
    with pytest.raises(TypeError, match="no argument Counter"):
        laser.CounterRead(Counter=0)
    with pytest.raises(ValueError, match="LaserRunning"):
        laser.on("LaserRuning", print)
    with pytest.raises(AttributeError):
        laser.submit("LaserGo")
    with pytest.raises(ValueError, match="premix-empty"):
        laser.simulator.inject("no-such-fault")
    with pytest.raises(morvand.BackendError):
        morvand.Laser("nocard:0", directory=str(directory)).open()
    with pytest.raises(morvand.SettingsError, match="Paramdata"):
        morvand.Laser("sim:1711", directory=str(directory / "empty")).open()
    with pytest.raises(morvand.SettingsError, match="LM-99"):
        morvand.write_settings(str(directory), model="LM-99")


def test_leaving_the_with_block_writes_the_settings_back(directory):
    answers = []
    with morvand.Laser("sim:1711", directory=str(directory), speed="max",
                       prompt=lambda text, title, default: answers.append(title) or "40") as laser:
        laser.CumTotalPulses = 4321
        laser.TempSet = 24.5
        assert laser.ReprateSet() is True
        assert laser.RepRate == 40
    assert answers == ["SET REP RATE"]
    assert not laser.is_open
    assert (directory / "Counter").read_text().startswith("4321,")
    assert (directory / "Paramdata").read_text().startswith("24.5,")
    with pytest.raises(morvand.ClosedError):
        laser.RepRate
    assert any(m["designation"] == "LM-10" and "KrF" in m["gases"] for m in morvand.models())
