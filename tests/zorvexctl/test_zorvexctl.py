"""zorvexctl as scripts run it, on simulated chips: exit code 0 only when
the unit read back as asked, 1 with one line saying why not, 2 for a usage
error. ZORVEXCTL names the simulated build's zorvexctl."""

import json
import os
import subprocess
import time

import pytest

ZORVEXCTL = os.environ.get("ZORVEXCTL", "zorvexctl")

UNIT = {"vendorId": 1240, "productId": 221, "manufacturer": "Maker",
        "product": "DELOQ-72N SWITCHER", "gpSettings": [0, 0, 17, 0]}


@pytest.fixture
def chips(tmp_path):
    """Four units: one that switches, one as the factory left it, one that
    never answers, one named in the settings; a plain chip among them."""
    scenario = tmp_path / "chips.json"
    scenario.write_text(json.dumps({"devices": [
        dict(UNIT, port="1-1"),
        dict(UNIT, port="1-2", gpSettings=[18, 19, 17, 17]),
        dict(UNIT, port="1-3", responds=False),
        {"vendorId": 1240, "productId": 221, "product": "Plain", "port": "1-4"},
        dict(UNIT, port="1-5.2"),
    ]}))
    config = tmp_path / "zorvexd.conf"
    config.write_text('cycle_off_time = 0.2\n[units."1-5.2"]\nname = "bench psu"\n')
    return scenario, config


def run(chips, *arguments):
    scenario, config = chips
    started = time.monotonic()
    result = subprocess.run([ZORVEXCTL, "--config", str(config), *arguments],
                            env=dict(os.environ, ZORVEX_SIM_DEVICES=str(scenario)),
                            capture_output=True, text=True, timeout=30)
    return result, time.monotonic() - started


def gp0(chips, index):
    devices = json.loads(chips[0].read_text())["devices"]
    return devices[index].get("gpioOutput", [0])[0]


def test_switches_read_back_as_asked(chips):
    for arguments, level in ((("on", "1-1"), 1), (("off", "1-1"), 0),
                             (("on", "bench psu"), 1), (("cycle", "1-1"), 1)):
        result, _ = run(chips, *arguments)
        assert (result.returncode, result.stdout, result.stderr) == (0, "", ""), arguments
        assert gp0(chips, 0 if arguments[1] == "1-1" else 4) == level, arguments
    result, _ = run(chips, "state", "bench psu")
    assert (result.returncode, result.stdout) == (0, "ON\n")
    # A cycle ends on, whatever it started from, and waits as long as asked.
    run(chips, "off", "1-1")
    result, took = run(chips, "cycle", "--off", "0.5", "1-1")
    assert result.returncode == 0 and gp0(chips, 0) == 1 and took >= 0.5


@pytest.mark.parametrize("arguments, line", [
    (("on", "1-9"), 'no unit "1-9" here'),
    (("on", "1-2"), "unit 1-2 cannot be switched: its GP0 is not a GPIO; run zorvex_cui 1 -set"),
    (("state", "1-2"), "unit 1-2 cannot be switched"),
    (("cycle", "1-2"), "unit 1-2 cannot be switched"),
    (("on", "1-3"), "unit 1-3 did not answer within 1000 ms"),
    (("state", "1-3"), "unit 1-3 did not answer"),
])
def test_a_unit_that_does_not_switch_says_why_in_one_line(chips, arguments, line):
    result, took = run(chips, *arguments)
    assert result.returncode == 1 and result.stdout == ""
    assert result.stderr.startswith("zorvexctl: " + line) and result.stderr.count("\n") == 1
    assert took < 1.5
    assert gp0(chips, 1) == 0 and gp0(chips, 2) == 0


@pytest.mark.parametrize("arguments", [
    (), ("toggle", "1-1"), ("on",), ("on", "1-1", "1-2"), ("list", "1-1"), ("on", "1-1", "--json"),
    ("state", "1-1", "--off", "2"), ("cycle", "1-1", "--off", "-1"), ("cycle", "1-1", "--off"),
    ("--timeout", "0", "list"), ("--password", "x", "list"), ("--frobnicate", "list"),
])
def test_a_usage_error_exits_2(chips, arguments):
    result, _ = run(chips, *arguments)
    assert result.returncode == 2 and result.stderr.count("\n") == 1, result.stderr
    assert gp0(chips, 0) == 0


def test_list_tells_every_unit_and_whether_it_switches(chips):
    run(chips, "on", "1-1")
    result, _ = run(chips, "list", "--json")
    assert result.returncode == 0
    units = json.loads(result.stdout)
    assert [(u["id"], u["name"], u["state"], u["switchable"]) for u in units] == [
        ("1-1", None, "ON", True), ("1-2", None, None, False), ("1-3", None, None, False),
        ("1-5.2", "bench psu", "OFF", True)]
    assert {u["product"] for u in units} == {"DELOQ-72N SWITCHER"}
    text, _ = run(chips, "list")
    assert text.stdout.splitlines()[3] == "1-5.2\tOFF\tswitchable\tbench psu\tDELOQ-72N SWITCHER"
