"""The Debian package installed for real, and its zorvexd run by hand as the
user the package makes, as its service would run it: on the package's
settings, against a Mosquitto of the test's own, with its chip on a
umockdev testbed whose hidraw node is the zorvex group's, as the
package's udev rule makes it. A machine without systemd as PID 1 cannot
start the service itself.

ZORVEX_PACKAGE_DIR names the folder that holds the .deb, and
ZORVEX_UMOCKDEV_TOOL the testbed tool. The
package is purged again at the end. Root only; a machine that already has
zorvex installed is left alone (the test is skipped).
"""

import glob
import json
import os
import signal
import subprocess

import pytest

from mqtt_peers import UNIT, Broker, Watcher

PACKAGES = glob.glob(os.path.join(os.environ.get("ZORVEX_PACKAGE_DIR", "."), "zorvex_*.deb"))
UMOCKDEV_TOOL = os.environ.get("ZORVEX_UMOCKDEV_TOOL", "")
NODE = "installed"


def installed():
    result = subprocess.run(["dpkg-query", "-W", "-f=${Status}", "zorvex"],
                            capture_output=True, text=True)
    return result.stdout.endswith("installed") and "not-installed" not in result.stdout


pytestmark = [
    pytest.mark.skipif(os.geteuid() != 0, reason="installing a package needs root"),
    pytest.mark.skipif(len(PACKAGES) != 1 or not UMOCKDEV_TOOL,
                       reason="no one package, or no testbed tool"),
]


@pytest.fixture
def package():
    if installed():
        pytest.skip("zorvex is installed on this machine already; left as it is")
    subprocess.run(["dpkg", "-i", PACKAGES[0]], check=True, capture_output=True, timeout=120)
    try:
        yield
    finally:
        subprocess.run(["dpkg", "--purge", "zorvex"], check=True, capture_output=True,
                       timeout=120)


def as_user(user, group, *command):
    return ["setpriv", f"--reuid={user}", f"--regid={group}", "--init-groups",
            "--no-new-privs"] + list(command)


def test_the_installed_daemon_runs_as_zorvex_with_the_chips_group(package, folder):
    # What the package made: the user and group, the settings as a
    # conffile, the service file, and nothing enabled.
    user = subprocess.run(["getent", "passwd", "zorvex"], capture_output=True, text=True)
    fields = user.stdout.strip().split(":")
    group = subprocess.run(["getent", "group", "zorvex"], capture_output=True, text=True)
    assert group.returncode == 0 and fields[3] == group.stdout.split(":")[2]
    assert int(fields[2]) < 1000 and fields[6] == "/usr/sbin/nologin"
    conffiles = subprocess.run(["dpkg-query", "-W", "-f=${Conffiles}", "zorvex"],
                               capture_output=True, text=True).stdout
    assert "/etc/zorvex/zorvexd.conf" in conffiles
    assert os.path.isfile("/usr/lib/systemd/system/zorvexd.service")
    assert glob.glob("/etc/systemd/system/*/zorvexd.service") == []

    scenario = os.path.join(folder, "chips.json")
    with open(scenario, "w", encoding="utf-8") as out:
        json.dump({"devices": [dict(UNIT, port="1-4")]}, out)
    listing = ["/usr/bin/zorvexd", "--config", "/etc/zorvex/zorvexd.conf", "--list"]
    # Without the group, or without the rule, the chip cannot be opened.
    for tool, who in ((["--chip-group", "zorvex"], ("nobody", "nogroup")),
                      ([], ("zorvex", "zorvex")), (["--chip-group", "zorvex"],
                                                   ("zorvex", "zorvex"))):
        result = subprocess.run([UMOCKDEV_TOOL] + tool + [scenario, "--"] +
                                as_user(*who, *listing), capture_output=True, text=True,
                                timeout=30)
        assert result.returncode == 0, result.stderr
        assert result.stdout == ("1-4 OFF\n" if tool and who[0] == "zorvex" else ""), (tool, who)

    broker = Broker(folder)
    watcher = Watcher(broker.port)
    pid_file = os.path.join(folder, "zorvexd.pid")
    log = open(os.path.join(folder, "zorvexd.log"), "w+", encoding="utf-8")
    daemon = " ".join(as_user("zorvex", "zorvex", "/usr/bin/zorvexd", "--config",
                              "/etc/zorvex/zorvexd.conf", "--broker",
                              f"127.0.0.1:{broker.port}", "--node-id", NODE,
                              "--poll-interval", "0.2"))
    testbed = subprocess.Popen([UMOCKDEV_TOOL, "--chip-group", "zorvex", scenario, "--", "sh",
                                "-c", f"echo $$ > {pid_file}; exec {daemon}"], stderr=log)
    try:
        assert watcher.wait_for(f"zorvex/{NODE}/1-4/state", "OFF", timeout=10)
        with open(pid_file, encoding="ascii") as source:
            pid = int(source.read())
        with open(f"/proc/{pid}/status", encoding="ascii") as status:
            ids = {line.split(":")[0]: line.split()[1:] for line in status}
        assert ids["Uid"][0] == fields[2] and ids["Gid"][0] == fields[3]
        assert ids["NoNewPrivs"] == ["1"]
        subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(broker.port), "-q", "1",
                        "-t", f"zorvex/{NODE}/1-4/set", "-m", "ON"], check=True, timeout=5)
        assert watcher.wait_for(f"zorvex/{NODE}/1-4/state", "ON")
        with open(scenario, encoding="utf-8") as source:
            assert json.load(source)["devices"][0]["gpioOutput"][0] == 1
        os.kill(pid, signal.SIGTERM)
        assert testbed.wait(timeout=10) == 0
        assert watcher.wait_for(f"zorvex/{NODE}/status", "offline")
    finally:
        if testbed.poll() is None:
            testbed.kill()
            testbed.wait()
        watcher.close()
        broker.stop()
        log.close()
