"""morvand-tango driven by PyTango clients over a loopback port, without a database: the
simulated laser at 20 times real time (a 100 Hz run gives 2000 pulses a second)."""
import subprocess
import sys
import threading

import numpy
import pytest
import tango

from tango_server import Recorder, Server, ready_laser, start_run, wait_for

DEVICES = ["test/laser/1", "test/laser/2"]
TYPES = {"Boolean": tango.CmdArgType.DevBoolean, "Int16": tango.CmdArgType.DevShort,
         "Int32": tango.CmdArgType.DevLong, "Single": tango.CmdArgType.DevFloat,
         "Double": tango.CmdArgType.DevDouble, "String": tango.CmdArgType.DevString}


@pytest.fixture(scope="module")
def server(tmp_path_factory):
    server = Server(DEVICES, tmp_path_factory.mktemp("data"))
    for name in DEVICES:
        ready_laser(server.proxy(name))
    yield server
    assert server.stop() == 0


@pytest.fixture
def laser(server):
    device = server.proxy()
    yield device
    # Leave the device idle for the next test, whatever this one did.
    device.PopupMessage = False
    for fault in ("interlock-open", "power-lost"):
        device.SimulatorFault([fault, "off"])
    device.LaserStop()
    if device.state() != tango.DevState.STANDBY:
        ready_laser(device)


def test_missing_settings_give_fault_with_a_way_out(tmp_path):
    server = Server(["test/laser/9"], tmp_path)
    try:
        device = server.proxy()
        assert device.state() == tango.DevState.FAULT
        assert "WriteSettings" in device.status()
        assert str(tmp_path / "morvand-tango" / "test_laser_9") in device.status()
        with pytest.raises(tango.DevFailed, match="not open"):
            device.RepRate
        device.WriteSettings(["LM-10", "KrF"])
        assert device.state() == tango.DevState.STANDBY
        assert (tmp_path / "morvand-tango" / "test_laser_9" / "Typedata").exists()
        with pytest.raises(tango.DevFailed, match="open"):
            device.WriteSettings(["LM-10", "KrF"])
    finally:
        assert server.stop() == 0


def test_a_card_address_that_cannot_be_opened_gives_fault_with_the_reason(tmp_path):
    server = Server(["test/laser/8"], tmp_path, env={"MORVAND_TANGO_CARD": "nosuch:1"})
    try:
        device = server.proxy()
        assert device.state() == tango.DevState.FAULT
        assert device.status().startswith("The card nosuch:1 cannot be opened: ")
        with pytest.raises(tango.DevFailed, match="not open"):
            device.LaserRun(-1)
    finally:
        assert server.stop() == 0


def test_every_property_is_an_attribute_of_its_type_that_reads_back_what_was_written(laser):
    configs = {c.name: c for c in laser.attribute_list_query()}
    written = {"Int16": 3, "Int32": 70000, "Single": 1.5, "Double": 2.25, "String": "text",
               "Boolean": True}
    # Each type, the renamed `state_`, and properties the controller itself never writes.
    samples = {"LaserStatus": "Int16", "MaxNum": "Int32", "ExtEnergy": "Single",
               "CountPeriod": "Double", "LaserMessage": "String", "ListDeviceFlag": "Boolean",
               "state_": "Int16", "MTmaxRPM": "Double", "AutoMotor": "Boolean"}
    for name, kind in samples.items():
        assert configs[name].data_type == TYPES[kind], name
        assert configs[name].writable == tango.AttrWriteType.READ_WRITE, name
        laser.write_attribute(name, written[kind])
        value = laser.read_attribute(name).value
        assert value == pytest.approx(written[kind]) if kind in ("Single", "Double") \
            else value == written[kind], name
    assert len([n for n in configs if n not in ("State", "Status")]) == 87 + 5
    assert configs["RepRate"].unit == "Hz" and configs["VoltSet"].unit == "kV"
    # Limits from the model: RepRate 0 .. RepRateMax, VoltSet HiVoltMin .. HiVoltMax.
    assert configs["RepRate"].min_value == "0"
    assert float(configs["RepRate"].max_value) > 0
    assert float(configs["VoltSet"].min_value) == pytest.approx(laser.HiVoltMin)
    assert float(configs["VoltSet"].max_value) == pytest.approx(laser.HiVoltMax)
    laser.MaxNum = 50000000


def test_commands_keep_the_controllers_names_types_and_results(laser):
    info = laser.command_query("TestStr")
    assert info.in_type == tango.CmdArgType.DevVarStringArray
    assert info.out_type == tango.CmdArgType.DevBoolean
    assert laser.TestStr(["PCI-1711", "1711"]) is True
    assert laser.TestStr(["PCI-1711", "1712"]) is False
    assert laser.command_query("OpenValves").in_type == tango.CmdArgType.DevShort
    assert laser.command_query("status_").out_type == tango.CmdArgType.DevBoolean
    assert laser.command_query("LaserRun").out_type == tango.CmdArgType.DevVoid
    assert isinstance(laser.myTimer(), float)
    models = laser.GetLaserList()
    assert "LM-10" in models
    gases = laser.GetGasList()
    assert "KrF" in " ".join(gases)


def test_a_500_pulse_run_watched_by_events_is_stopped_by_a_second_client(server, laser):
    def start():
        laser.LaserRun(-1)  # returns at once: the run goes on on the controller thread
        assert laser.state() == tango.DevState.RUNNING

    start_run(laser, start)
    pulses = Recorder(laser, "PulseNum")
    energies = Recorder(laser, "Energy")
    try:
        wait_for(lambda: pulses.values and pulses.values[-1] >= 500, what="500 pulses")
        other = server.proxy()
        other.LaserStop()
        wait_for(lambda: laser.state() == tango.DevState.STANDBY, what="STANDBY")
        stopped_at = laser.PulseNum
        assert stopped_at >= 500
        assert laser.PulseNum == stopped_at  # nothing fires after the stop
        assert "Laser Operation Stopped" in laser.status()
        assert laser.LastResult == "LaserRun: done"
        assert pulses.values == sorted(pulses.values)  # events in order, none from the past
        assert len(pulses.values) > 10 and len(energies.values) > 10
    finally:
        pulses.close()
        energies.close()


def test_a_refill_asks_its_question_through_PendingQuestion_and_takes_the_answer(laser):
    questions = Recorder(laser, "PendingQuestion")
    try:
        laser.PopupMessage = True  # questions are asked only in boxes
        laser.GasPartialRefill()
        assert laser.state() == tango.DevState.MOVING
        # The first box is the manual-valve warning (OK), the second the premix question.
        first = wait_for(lambda: laser.PendingQuestion, what="the first question")
        assert first[-1] == "OK"
        laser.Answer("OK")
        second = wait_for(lambda: (q := laser.PendingQuestion) is not None and q[0] != first[0]
                          and q, what="the second question")
        assert list(second[2:]) == ["Yes", "No"] or list(second[2:]) == ["Yes", "No", "Cancel"]
        with pytest.raises(tango.DevFailed, match="not a button"):
            laser.Answer("Maybe")
        laser.PressMes()  # other calls still run while the question waits
        laser.Answer("No")
        wait_for(lambda: laser.state() == tango.DevState.STANDBY, what="the refill to end")
        assert laser.LastResult == "GasPartialRefill: done"
        assert laser.ValveState == 0  # a No closes every valve
        assert laser.PendingQuestion is None
        # Each question appeared, and went, as an event.
        texts = [v[0] if v is not None and len(v) else None for v in questions.values]
        assert first[0] in texts and second[0] in texts and texts[-1] is None
        with pytest.raises(tango.DevFailed, match="No question"):
            laser.Answer("Yes")
    finally:
        questions.close()


def test_state_follows_what_runs(laser):
    states = Recorder(laser, "State")
    try:
        laser.ThyWarmup(300.0)
        wait_for(lambda: laser.state() == tango.DevState.MOVING, what="MOVING")
        laser.ThySkip()
        wait_for(lambda: laser.state() == tango.DevState.STANDBY, what="STANDBY")
        laser.LaserRun(-1)
        wait_for(lambda: laser.PulseNum > 0, what="a pulse")
        laser.LaserStop()
        wait_for(lambda: tango.DevState.STANDBY == states.values[-1], what="the STANDBY event")
        seen = [s for i, s in enumerate(states.values) if i == 0 or s != states.values[i - 1]]
        assert seen == [tango.DevState.STANDBY, tango.DevState.MOVING, tango.DevState.STANDBY,
                        tango.DevState.RUNNING, tango.DevState.STANDBY]
    finally:
        states.close()


def test_refused_commands_fail_with_the_controllers_text(laser):
    laser.LaserRun(-1)
    wait_for(lambda: laser.PulseNum > 0, what="a pulse")
    with pytest.raises(tango.DevFailed) as refused:
        laser.GasAutoRefill()
    assert refused.value.args[0].desc == "STOP THE LASER BEFORE STARTING A GAS PROCEDURE"
    with pytest.raises(tango.DevFailed) as again:
        laser.LaserRun(-1)
    assert again.value.args[0].desc == "LASER IS ALREADY RUNNING"
    assert laser.state() == tango.DevState.RUNNING  # the run goes on
    laser.LaserStop()


def test_two_devices_in_one_instance_fire_independently(server):
    one, two = server.proxy(DEVICES[0]), server.proxy(DEVICES[1])
    before = two.CumTotalPulses
    start_run(one)
    try:
        wait_for(lambda: one.PulseNum > 200, what="pulses on the first laser")
        assert two.state() == tango.DevState.STANDBY
        two.RepRate = 50
        start_run(two)
        wait_for(lambda: two.PulseNum > 50, what="pulses on the second laser")
        one.LaserStop()
        wait_for(lambda: one.state() == tango.DevState.STANDBY, what="the first to stop")
        count = two.PulseNum
        wait_for(lambda: two.PulseNum > count + 50, what="the second to go on")
        assert one.RepRate == 100 and two.RepRate == 50
    finally:
        one.LaserStop()
        two.LaserStop()
        wait_for(lambda: two.state() == tango.DevState.STANDBY, what="the second to stop")
    assert two.CumTotalPulses > before
    two.RepRate = 100


def test_the_server_survives_bad_requests(server, laser):
    with pytest.raises(tango.DevFailed, match="WAttrOutsideLimit|above|limit"):
        laser.RepRate = 10 ** 6
    with pytest.raises(tango.DevFailed):
        laser.VoltSet = laser.HiVoltMax + 5
    with pytest.raises((tango.DevFailed, TypeError, ValueError)):
        laser.write_attribute("RepRate", "fast")
    with pytest.raises((tango.DevFailed, TypeError, ValueError)):
        laser.command_inout("OpenValves", "all")
    with pytest.raises(tango.DevFailed, match="IndexError"):
        laser.CounterRead(5)  # counters are 0 to 2
    with pytest.raises(tango.DevFailed, match="two positions"):
        laser.SetLaserAndGasType([1])
    with pytest.raises(tango.DevFailed, match="texts"):
        laser.TestStr(["only one"])
    laser.LaserStop()  # a stop with nothing running
    # The status poll never runs two passes at once. The supply lost and back: the next
    # pass starts a new warm-up and runs until it ends.
    laser.SimulatorFault(["power-lost", "on"])
    laser.MorvandStatus(False)
    # DISABLE: the pass saw no supply, and it has ended (MOVING would come first).
    wait_for(lambda: laser.state() == tango.DevState.DISABLE, what="the pass without supply")
    laser.SimulatorFault(["power-lost", "off"])
    laser.MorvandStatus(False)
    wait_for(lambda: laser.ThyState, what="the warm-up")
    with pytest.raises(tango.DevFailed, match="A status pass is already running"):
        laser.MorvandStatus(False)
    laser.ThySkip()
    wait_for(lambda: laser.state() == tango.DevState.STANDBY, what="the pass to end")
    ready_laser(laser)
    assert server.alive()
    assert laser.RepRate == 100


def test_a_client_that_disconnects_mid_run_leaves_the_run_going(server, laser):
    def start_from_a_client_that_goes_away():
        client = subprocess.run(
            [sys.executable, "-c",
             "import os, tango, sys; d = tango.DeviceProxy(sys.argv[1]); d.LaserRun(-1); "
             "os._exit(0)", server.address(DEVICES[0])], timeout=60)
        assert client.returncode == 0

    start_run(laser, start_from_a_client_that_goes_away)
    count = laser.PulseNum
    wait_for(lambda: laser.PulseNum > count + 100, what="the run to go on")
    laser.LaserStop()
    wait_for(lambda: laser.state() == tango.DevState.STANDBY, what="STANDBY")
    assert server.alive()


def test_a_file_database_gives_the_properties_and_an_unanswered_question_gets_its_default(
        tmp_path):
    db = tmp_path / "laser.db"
    db.write_text("morvand-tango/lab/DEVICE/MorvandLaser: lab/laser/7\n")
    settings = tmp_path / "laser7"
    database = tango.Database(str(db))
    database.put_device_property("lab/laser/7", {
        "Card": ["sim:1711"], "SettingsDirectory": [str(settings)], "Speed": ["20"],
        "UnattendedAnswer": ["No"], "AnswerTimeout": ["0.2"]})
    del database
    server = Server(["lab/laser/7"], tmp_path / "data", speed=None, db=db, instance="lab")
    try:
        laser = ready_laser(server.proxy())
        assert (settings / "Typedata").exists()
        results = Recorder(laser, "LastResult")
        laser.PopupMessage = True
        laser.GasPartialRefill()
        # Nobody answers: the OK box gets OK, the premix question No, and the refill ends.
        wait_for(lambda: "GasPartialRefill: done" in results.values, what="the refill to end")
        assert laser.ValveState == 0
        # An unanswered prompt takes its default (here: continuous operation).
        laser.MaxNum = 10
        with pytest.raises(tango.DevFailed, match="Asking"):
            laser.MaxNumSet()
        wait_for(lambda: "MaxNumSet: 10" in results.values, what="the prompt's default")
        results.close()
    finally:
        assert server.stop() == 0


def test_measurements_arrive_as_events_with_the_status_pass(laser):
    measurements = Recorder(laser, "Measurements")
    try:
        laser.MorvandStatus(False)
        wait_for(lambda: len(measurements.values) >= 2, what="a Measurements event")
        temp, pressure, hv, fila, volt12 = measurements.values[-1]
        assert fila == -1.0  # no filament reading without CheckState
        assert temp == pytest.approx(laser.temp) and pressure == pytest.approx(laser.Pressure)
        assert isinstance(measurements.values[-1], numpy.ndarray)
    finally:
        measurements.close()


def test_a_method_that_prompts_returns_at_once_and_its_result_follows_the_answer(laser):
    results = Recorder(laser, "LastResult")
    try:
        with pytest.raises(tango.DevFailed) as asking:
            laser.MaxNumSet()  # holding the device until answered would lock Answer out
        assert asking.value.args[0].reason == "MorvandLaser_Asking"
        prompt = wait_for(lambda: laser.PendingQuestion, what="the prompt")
        assert prompt[1] == "MAX PULSES" and prompt[2] == "" and prompt[3] == "CONTINUOUS"
        laser.Answer("1000")
        wait_for(lambda: "MaxNumSet: 1000" in results.values, what="the result")
        assert laser.MaxNum == 1000
    finally:
        results.close()
        laser.MaxNum = 50000000


def test_status_events_carry_the_progress_text(laser):
    statuses = Recorder(laser, "Status")
    try:
        laser.LaserRun(-1)
        wait_for(lambda: "Laser Running" in statuses.values, what="the running text")
        laser.LaserStop()
        wait_for(lambda: "Laser Operation Stopped" in statuses.values, what="the stop text")
    finally:
        statuses.close()


def test_disable_and_alarm_come_from_the_inputs_and_the_controllers_warnings(laser):
    # The interlock is seen by a status pass that checks the inputs.
    laser.SimulatorFault(["interlock-open", "on"])
    laser.MorvandStatus(True)
    wait_for(lambda: laser.state() == tango.DevState.DISABLE, what="DISABLE")
    assert laser.InterlockActive is False
    laser.SimulatorFault(["interlock-open", "off"])
    laser.MorvandStatus(True)
    wait_for(lambda: laser.state() == tango.DevState.STANDBY, what="STANDBY again")
    # Without 12 V the status pass reports five times -1.
    laser.SimulatorFault(["power-lost", "on"])
    laser.MorvandStatus(False)
    wait_for(lambda: laser.state() == tango.DevState.DISABLE, what="DISABLE without supply")
    assert list(laser.Measurements) == [-1.0] * 5
    laser.SimulatorFault(["power-lost", "off"])
    ready_laser(laser)  # the supply back: a new warm-up, skipped
    with pytest.raises(tango.DevFailed, match="the faults are"):
        laser.SimulatorFault(["no-such-fault", "on"])


def test_a_laser_that_overheats_halts_its_run_and_shows_alarm(tmp_path):
    # A server of its own: the laser stays hot for a while after the fault is off.
    server = Server(["test/laser/5"], tmp_path)
    try:
        laser = ready_laser(server.proxy())
        laser.SimulatorFault(["overheating", "on"])
        laser.LaserRun(-1)
        wait_for(lambda: laser.state() == tango.DevState.ALARM, timeout=30, what="ALARM")
        assert "TEMPERATURE EXCEEDED" in laser.LaserMessenger
        laser.SimulatorFault(["overheating", "off"])
        laser.MorvandStatus(False)  # a status pass clears the alarm
        wait_for(lambda: laser.state() == tango.DevState.STANDBY, what="STANDBY after the alarm")
    finally:
        assert server.stop() == 0


def test_a_question_asked_while_another_waits_comes_first_then_the_first_is_back(laser):
    laser.PopupMessage = True
    laser.GasPartialRefill()
    first = wait_for(lambda: laser.PendingQuestion, what="the refill's first box")
    with pytest.raises(tango.DevFailed, match="Asking"):
        laser.MaxNumSet()
    inner = wait_for(lambda: (q := laser.PendingQuestion) is not None and q[1] == "MAX PULSES"
                     and q, what="the prompt")
    assert inner[2] == ""
    laser.Answer("500")
    back = wait_for(lambda: (q := laser.PendingQuestion) is not None and q[1] != "MAX PULSES"
                    and q, what="the first box again")
    assert list(back) == list(first)
    assert laser.MaxNum == 500
    laser.Answer("OK")
    wait_for(lambda: (q := laser.PendingQuestion) is not None and q[0] != first[0],
             what="the premix question")
    laser.Answer("Cancel")
    wait_for(lambda: laser.state() == tango.DevState.STANDBY, what="the refill to end")
    laser.MaxNum = 50000000


def test_pause_restart_and_halt_steer_a_run_from_another_client(server, laser):
    texts = Recorder(laser, "LaserMessenger")
    measurements = Recorder(laser, "Measurements")
    other = server.proxy()
    try:
        start_run(laser)
        wait_for(lambda: laser.PulseNum > 50, what="pulses")
        other.LaserPause(False)
        wait_for(lambda: "Laser Standby" in texts.values, what="the standby text")
        paused_at = laser.PulseNum
        seen = len(measurements.values)
        # The run loop goes on measuring once a second of laser time; nothing fires.
        wait_for(lambda: len(measurements.values) >= seen + 2, what="two more measurements")
        assert laser.PulseNum == paused_at and laser.state() == tango.DevState.RUNNING
        other.LaserRestart(False)
        wait_for(lambda: laser.PulseNum > paused_at + 20, what="firing again")
        other.Halt()
        wait_for(lambda: laser.state() == tango.DevState.STANDBY, what="the halt to end the run")
    finally:
        texts.close()
        measurements.close()
