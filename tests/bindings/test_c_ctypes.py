"""The C interface driven from Python through ctypes alone (no Python package): the way a
host that loads plain C libraries sees it."""
import ctypes
import os
import threading

import pytest

OK, BAD_NAME, BAD_TYPE, CLOSED = 0, 2, 3, 10


class Value(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("integer", ctypes.c_int64),
                ("number", ctypes.c_double), ("text", ctypes.c_char_p)]


EVENT = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_char_p, ctypes.POINTER(Value),
                         ctypes.c_int)


@pytest.fixture
def lib():
    c = ctypes.CDLL(os.environ["MORVAND_C_LIBRARY"])
    c.morvand_last_error.restype = ctypes.c_char_p
    c.morvand_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_double,
                               ctypes.POINTER(ctypes.c_void_p)]
    for name in ("morvand_close", "morvand_set_event_callback", "morvand_call",
                 "morvand_get_integer", "morvand_set_integer", "morvand_get_text"):
        getattr(c, name).restype = ctypes.c_int
    c.morvand_close.argtypes = [ctypes.c_void_p]
    c.morvand_call.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.POINTER(Value),
                               ctypes.c_int, ctypes.POINTER(Value)]
    c.morvand_get_integer.argtypes = [ctypes.c_void_p, ctypes.c_char_p,
                                      ctypes.POINTER(ctypes.c_int64)]
    c.morvand_set_integer.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int64]
    c.morvand_set_event_callback.argtypes = [ctypes.c_void_p, EVENT, ctypes.c_void_p]
    return c


@pytest.fixture
def laser(lib, tmp_path):
    assert lib.morvand_write_settings(str(tmp_path).encode(), b"LM-10", b"KrF") == OK
    handle = ctypes.c_void_p()
    assert lib.morvand_open(b"sim:1711", str(tmp_path).encode(), 0.0, ctypes.byref(handle)) == OK
    yield handle
    lib.morvand_close(handle)


def call(lib, laser, name, *args):
    values = (Value * max(1, len(args)))(*args)
    result = Value()
    status = lib.morvand_call(laser, name.encode(), values, len(args), ctypes.byref(result))
    return status, result


def test_a_run_started_on_one_thread_is_stopped_from_another(lib, laser):
    seen = []
    first = threading.Event()

    @EVENT
    def on_event(_user, name, values, count):
        if name == b"Warmingup":
            values[1].integer = -1
        if name == b"LaserRunning":
            seen.append(values[0].integer)
            if values[0].integer > 0:  # a pass may come before the first pulse is counted
                first.set()

    assert lib.morvand_set_event_callback(laser, on_event, None) == OK
    assert call(lib, laser, "StandardCard")[1].integer == -1
    assert call(lib, laser, "MorvandStatus", Value(1, 0, 0.0, None))[0] == OK
    assert lib.morvand_set_integer(laser, b"RepRate", 50) == OK
    assert lib.morvand_set_integer(laser, b"MaxNum", 50000000) == OK
    status = []
    runner = threading.Thread(
        target=lambda: status.append(call(lib, laser, "LaserRun", Value(2, 0, 0.0, None))[0]))
    runner.start()
    assert first.wait(20)
    assert call(lib, laser, "LaserStop")[0] == OK
    runner.join(20)
    assert status == [OK]
    value = ctypes.c_int64()
    assert lib.morvand_get_integer(laser, b"CumTotalPulses", ctypes.byref(value)) == OK
    assert value.value > 0


def test_errors_come_back_as_statuses_with_a_text(lib, laser):
    value = ctypes.c_int64()
    assert lib.morvand_get_integer(laser, b"NoSuchThing", ctypes.byref(value)) == BAD_NAME
    assert b"NoSuchThing" in lib.morvand_last_error()
    assert lib.morvand_get_integer(laser, b"LaserMessage", ctypes.byref(value)) == BAD_TYPE
    assert call(lib, laser, "CounterRead", Value(6, 0, 0.0, b"x"))[0] == BAD_TYPE
