"""Writes the type stub of the morvand package from the controller's property and method
tables, so that an editor completes every property and method with its type.

    python3 gen_stub.py PACKAGE_DIR   (the directory holding morvand/, built)
"""
import sys

sys.path.insert(0, sys.argv[1])
from morvand import _morvand  # noqa: E402

HEADER = '''# Generated from the controller's property and method tables by gen_stub.py.
import builtins
from concurrent.futures import Future
from typing import Any, Callable, Optional, Union

EVENTS: tuple

class Error(RuntimeError): ...
class IndexError(Error, builtins.IndexError): ...
class OverflowError(Error, builtins.OverflowError): ...
class FloatError(Error, ArithmeticError): ...
class ListError(Error): ...
class SettingsError(Error): ...
class BackendError(Error): ...
class ClosedError(Error): ...

def write_settings(directory: str, model: str = "LM-10", gas: str = "KrF") -> None: ...
def models() -> list[dict[str, Any]]: ...

class Simulator:
    faults: list[str]
    def inject(self, fault: str, on: bool = True) -> None: ...

class Laser:
    def __init__(self, card: str = "sim:1711", directory: str = ".",
                 speed: Union[None, float, str] = None,
                 ask: Optional[Callable[[str, int, str], int]] = None,
                 prompt: Optional[Callable[[str, str, str], str]] = None) -> None: ...
    def open(self) -> "Laser": ...
    def close(self) -> None: ...
    def __enter__(self) -> "Laser": ...
    def __exit__(self, *exc: Any) -> None: ...
    is_open: bool
    directory: str
    simulator: Simulator
    def on(self, event: str, callback: Callable[..., Any]) -> None: ...
    def submit(self, method: str, *args: Any, **kwargs: Any) -> Future: ...
'''


def method_line(name, result, args, default, signature):
    params = ["self"]
    for i, (arg, kind, by_ref) in enumerate(args):
        text = f"{arg}: {kind}"
        if i == len(args) - 1 and default is not None:
            text += f" = {default!r}"
        params.append(text)
    outs = ([result] if result != "None" else []) + [k for _, k, r in args if r]
    ret = "None" if not outs else outs[0] if len(outs) == 1 else f"tuple[{', '.join(outs)}]"
    return f"    def {name}({', '.join(params)}) -> {ret}:\n        \"\"\"{signature}\"\"\"\n"


def main():
    out = [HEADER]
    out.append("    # ---- properties ----\n")
    for name, table_type, py_type in _morvand._properties():
        out.append(f"    {name}: {py_type}  # {table_type}\n")
    out.append("    # ---- methods ----\n")
    for name, result, args, default, signature in _morvand._methods():
        out.append(method_line(name, result, args, default, signature))
    target = sys.argv[2] if len(sys.argv) > 2 else sys.argv[1] + "/morvand/__init__.pyi"
    with open(target, "w", encoding="utf-8") as f:
        f.write("".join(out))


main()
