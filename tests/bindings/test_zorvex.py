"""The Python binding against the simulated library the build made."""

import json
import os
import shutil

import pytest

import zorvex

SIM_LIBRARY = os.environ["ZORVEX_SIM_LIBRARY"]

SCENARIO = {
    "devices": [
        {"vendorId": 1240, "productId": 221, "manufacturer": "Microchip Technology Inc.",
         "product": "MCP2221 USB-I2C/UART Combo"},
        {"vendorId": 1133, "productId": 50475, "product": "USB Keyboard"},
        {"vendorId": 1240, "productId": 221, "manufacturer": "スイッチ工房",
         "product": "DELOQ-72N SWITCHER", "gpSettings": [0, 0, 17, 0]},
        {"vendorId": 1240, "productId": 221, "manufacturerReadable": False,
         "product": "P" * 256},
    ]
}


@pytest.fixture
def chips(tmp_path, monkeypatch):
    path = tmp_path / "chips.json"
    path.write_text(json.dumps(SCENARIO), encoding="utf-8")
    monkeypatch.setenv("ZORVEX_SIM_DEVICES", str(path))
    return path


def device(path, index):
    return json.loads(path.read_text(encoding="utf-8"))["devices"][index]


def test_lists_chips_and_switches_a_unit(chips):
    lib = zorvex.Library(os.path.dirname(SIM_LIBRARY))
    assert lib.chip_count() == 3
    assert lib.unit_count() == 1
    assert lib.chip_info(0) == ("Microchip Technology Inc.", "MCP2221 USB-I2C/UART Combo")
    assert lib.chip_info(1) == ("スイッチ工房", "DELOQ-72N SWITCHER")
    assert lib.chip_info(2) == ("", "P" * 256)
    assert lib.chip_info(3) is None

    assert lib.switch(0, True) is True
    assert device(chips, 2)["gpioOutput"][0] == 1
    assert lib.switch(0, False) is True
    assert device(chips, 2)["gpioOutput"][0] == 0
    assert lib.switch(1, True) is False


def test_sets_up_a_chip_that_refuses_to_switch_until_replugged(chips):
    lib = zorvex.Library(SIM_LIBRARY)
    assert lib.set_up(0) is True
    assert device(chips, 0)["flash"]["product"] == "DELOQ-72N SWITCHER"
    assert lib.unit_count() == 1
    assert lib.set_up(3) is False
    with pytest.raises(ValueError):
        lib.switch(-1, True)


def test_a_missing_or_foreign_library_is_an_os_error(tmp_path):
    with pytest.raises(OSError, match="no library"):
        zorvex.Library(tmp_path)
    broken = tmp_path / "zorvex.dll"
    broken.write_bytes(b"not a library")
    with pytest.raises(OSError, match="cannot load"):
        zorvex.Library(broken)
    foreign = tmp_path / "foreign" / "zorvex.dll"
    foreign.parent.mkdir()
    shutil.copy(ctypes_library(), foreign)
    with pytest.raises(OSError, match="lacks getMcp2221aNum"):
        zorvex.Library(foreign)


def ctypes_library():
    """Some other shared library the system surely has."""
    import ctypes.util

    name = ctypes.util.find_library("m")
    for folder in ("/lib/x86_64-linux-gnu", "/usr/lib/x86_64-linux-gnu", "/lib", "/usr/lib"):
        candidate = os.path.join(folder, name or "")
        if name and os.path.isfile(candidate):
            return candidate
    pytest.skip("no system library to stand in for a foreign one")
