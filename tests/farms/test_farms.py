"""The test farms' own tools, as Debian packages them, driving simulated
units through zorvexctl: PDUDaemon (started by hand on 127.0.0.1, with the
project's driver found by its entry point) and labgrid's
ExternalPowerDriver. ZORVEXCTL names the simulated build's zorvexctl,
ZORVEX_PDUDAEMON_SITE the folder that holds the driver as installed."""

import json
import os
import socket
import subprocess
import time
import urllib.request

import pytest

ZORVEXCTL = os.environ.get("ZORVEXCTL", "zorvexctl")
SITE = os.environ.get("ZORVEX_PDUDAEMON_SITE", "")

UNIT = {"vendorId": 1240, "productId": 221, "manufacturer": "Maker",
        "product": "DELOQ-72N SWITCHER", "gpSettings": [0, 0, 17, 0]}
ON = "0050000101010000"
OFF = "0050000100010000"


@pytest.fixture
def chips(tmp_path, monkeypatch):
    """A unit that switches (1-1) and one as the factory left it (1-2)."""
    scenario = tmp_path / "chips.json"
    scenario.write_text(json.dumps({"devices": [
        dict(UNIT, port="1-1"), dict(UNIT, port="1-2", gpSettings=[18, 19, 17, 17])]}))
    monkeypatch.setenv("ZORVEX_SIM_DEVICES", str(scenario))
    return scenario


def switches(scenario, index):
    """The switch reports the chip received, as ON and OFF."""
    received = json.loads(scenario.read_text())["devices"][index].get("received", [])
    return ["ON" if r.startswith(ON) else "OFF" for r in received if r[:16] in (ON, OFF)]


def wait_for(condition, timeout=15):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.05)
    return False


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


@pytest.fixture
def pdudaemon(chips, tmp_path):
    port = free_port()
    config = tmp_path / "pdudaemon.conf"
    config.write_text(json.dumps({
        "daemon": {"hostname": "127.0.0.1", "port": port, "logging_level": "DEBUG",
                   "listener": "http"},
        "pdus": {"bench": {"driver": "zorvex", "units": {"1": "1-1", "2": "1-2"},
                           "zorvexctl": ZORVEXCTL, "config": "/dev/null", "retries": 1}}}))
    log = tmp_path / "pdudaemon.log"
    daemon = subprocess.Popen(
        ["/usr/sbin/pdudaemon", "--conf", str(config), "--logfile", str(log),
         "--loglevel", "DEBUG"],
        env=dict(os.environ, PYTHONPATH=SITE), stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL)

    def ask(request, unit_port, **more):
        query = "&".join([f"hostname=bench&port={unit_port}"] +
                         [f"{key}={value}" for key, value in more.items()])
        with urllib.request.urlopen(
                f"http://127.0.0.1:{port}/power/control/{request}?{query}", timeout=30) as reply:
            return reply.status

    def listening():
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
            return True
        except OSError:
            return False

    assert wait_for(listening), "pdudaemon did not start"
    yield ask, log
    daemon.terminate()
    daemon.wait(timeout=10)


def test_pdudaemon_switches_and_reboots_units_and_logs_a_unit_that_cannot(chips, pdudaemon):
    ask, log = pdudaemon
    assert ask("on", 1) == 200
    assert wait_for(lambda: switches(chips, 0) == ["ON"])
    assert ask("off", 1) == 200
    assert wait_for(lambda: switches(chips, 0) == ["ON", "OFF"])
    assert ask("reboot", 1, delay=1) == 200
    assert wait_for(lambda: switches(chips, 0) == ["ON", "OFF", "OFF", "ON"])
    # The unit that cannot switch: the driver raises, PDUDaemon logs why
    # (and answers the request once it has given up).
    assert ask("on", 2) == 200
    assert wait_for(lambda: "unit 1-2" in log.read_text() and
                    "cannot be switched" in log.read_text())
    assert "FailedRequestException" in log.read_text()
    assert json.loads(chips.read_text())["devices"][1].get("gpioOutput", [0])[0] == 0


def labgrid_target(tmp_path, unit):
    from labgrid import Environment
    environment = tmp_path / f"{unit}.yaml"
    command = f"{ZORVEXCTL} --config /dev/null"
    environment.write_text(
        "targets:\n  main:\n    drivers:\n      ExternalPowerDriver:\n"
        f"        cmd_on: '{command} on {unit}'\n"
        f"        cmd_off: '{command} off {unit}'\n"
        f"        cmd_cycle: '{command} cycle {unit} --off 0.2'\n")
    target = Environment(str(environment)).get_target("main")
    return target, target.get_driver("ExternalPowerDriver")


def test_labgrid_powers_a_unit_through_zorvexctl_and_raises_when_it_cannot(chips, tmp_path):
    target, power = labgrid_target(tmp_path, "1-1")
    target.activate(power)
    power.on()
    power.off()
    power.cycle()
    assert switches(chips, 0) == ["ON", "OFF", "OFF", "ON"]
    target, power = labgrid_target(tmp_path, "1-2")
    target.activate(power)
    with pytest.raises(subprocess.CalledProcessError) as raised:
        power.on()
    assert b"unit 1-2 cannot be switched" in raised.value.output
