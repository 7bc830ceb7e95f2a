"""zorvexd against a real Mosquitto broker, watched and driven by Mosquitto's
own clients (mosquitto_sub, mosquitto_pub), on simulated chips. The peers
are in mqtt_peers.py, the fixtures in conftest.py.
"""

import json
import os
import signal
import subprocess
import time

import pytest

from mqtt_peers import CUI, NODE, SIMCTL, UNIT, ZORVEXD, Broker, Setup, Watcher, free_port


def test_state_comes_from_the_chip_and_only_words_switch(two_units):
    s = two_units
    assert s.watcher.wait_for(f"zorvex/{NODE}/status", "online")
    assert s.watcher.wait_for(s.topic(0, "state"), "OFF")
    assert s.watcher.wait_for(s.topic(0, "available"), "online")

    s.publish(s.topic(0, "set"), "ON")
    assert s.watcher.wait_for(s.topic(0, "state"), "ON")
    assert s.chip(0)["gpioOutput"][0] == 1
    s.watcher.forget()
    s.publish(s.topic(0, "set"), "0")
    assert s.watcher.wait_for(s.topic(0, "state"), "OFF")

    # Nothing else switches: other text, too long, invalid UTF-8, retained.
    received = len(s.chip(0)["received"])
    # ("\udcff" goes out as the lone byte 0xFF.)
    for payload in ("On", "ONN", "1" * 17, "\udcff"):
        s.publish(s.topic(0, "set"), payload)
    s.publish(s.topic(0, "set"), "ON", retain=True)
    assert s.wait_for_log("a retained set message switches nothing")
    assert s.log_text().count("refused zorvex/bench/0/set") == 5
    after = s.chip(0)["received"]
    assert len(after) < 32, "the chip's log of reports has begun to drop the oldest"
    assert not any(r.startswith("0050") for r in after[received:])
    assert s.chip(0)["gpioOutput"][0] == 0


def test_a_unit_that_cannot_switch_is_offline_and_never_on(two_units):
    s = two_units
    assert s.watcher.wait_for(s.topic(1, "available"), "offline")
    assert s.wait_for_log("run zorvex_cui 1 -set and replug it")
    s.publish(s.topic(1, "set"), "ON")
    assert s.wait_for_log("switched zorvex/bench/1/set: asked ON, refused")
    assert "ON" not in s.watcher.payloads(s.topic(1, "state"))
    assert s.chip(1).get("gpioOutput", [0])[0] == 0


def test_units_come_and_go_with_the_plug(two_units):
    s = two_units
    assert s.watcher.wait_for(s.topic(0, "available"), "online")
    env = s.env
    s.watcher.forget()
    subprocess.run([SIMCTL, "unplug", "0"], env=env, check=True)
    assert s.watcher.wait_for(s.topic(0, "available"), "offline")
    assert s.wait_for_log("unit 0 gone")
    s.watcher.forget()
    subprocess.run([SIMCTL, "plug", "0"], env=env, check=True)
    assert s.wait_for_log("unit 0 appeared", timeout=5)
    assert s.watcher.wait_for(s.topic(0, "available"), "online")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat", encoding="ascii") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def test_the_broker_coming_back_gets_every_retained_topic_again(two_units):
    s = two_units
    assert s.watcher.wait_for(s.topic(0, "state"), "OFF")
    s.watcher.close()
    s.broker.stop()
    # Waiting for the broker, the daemon sleeps rather than spins.
    assert s.wait_for_log("connection to the broker lost")
    used, since = cpu_seconds(s.daemon.pid), time.monotonic()
    assert s.wait_for_log("unreachable")
    assert cpu_seconds(s.daemon.pid) - used < 0.5 * (time.monotonic() - since)
    s.broker.start()
    s.watcher = Watcher(s.broker.port)
    started = time.monotonic()
    assert s.watcher.wait_for(f"zorvex/{NODE}/status", "online", timeout=5)
    assert s.watcher.wait_for(s.topic(0, "state"), "OFF", timeout=5)
    assert time.monotonic() - started < 5
    assert s.daemon.poll() is None


def test_console_and_daemon_on_one_chip_both_right(two_units):
    s = two_units
    assert s.watcher.wait_for(s.topic(0, "state"), "OFF")
    for state, option in (("ON", "-on"), ("OFF", "-off")) * 5:
        s.watcher.forget()
        result = subprocess.run([CUI, "0", option], env=s.env, capture_output=True, timeout=5)
        assert result.returncode == 0 and result.stdout == b""
        assert s.chip(0)["gpioOutput"][0] == (1 if state == "ON" else 0)
        assert s.watcher.wait_for(s.topic(0, "state"), state)


def test_the_daemon_starts_without_broker_and_bad_settings_exit_2(folder):
    scenario = os.path.join(folder, "none.json")
    env = dict(os.environ, ZORVEX_SIM_DEVICES=scenario)
    for arguments in (["--bogus"], ["--broker", "host:99999"], ["--poll-interval", "x"],
                      ["--password", "secret"], ["--config", os.path.join(folder, "missing")]):
        result = subprocess.run([ZORVEXD] + arguments, env=env, capture_output=True, timeout=5)
        assert result.returncode == 2, arguments
        assert result.stderr.count(b"\n") == 1 and result.stderr.startswith(b"zorvexd: ")
    daemon = subprocess.Popen([ZORVEXD, "--config", "/dev/null", "--broker",
                               f"127.0.0.1:{free_port()}"], env=env,
                              stderr=subprocess.PIPE, text=True)
    time.sleep(0.5)
    assert daemon.poll() is None
    daemon.send_signal(signal.SIGTERM)
    assert daemon.wait(timeout=5) == 0
    assert "unreachable" in daemon.stderr.read()


def test_a_broker_with_passwords_and_an_acl(folder):
    passwords = os.path.join(folder, "passwd")
    for user, password in (("zorvexd", "s3cret"), ("watcher", "look")):
        subprocess.run(["mosquitto_passwd", "-b"] + (["-c"] if user == "zorvexd" else [])
                       + [passwords, user, password], check=True)
    acl = os.path.join(folder, "acl")
    with open(acl, "w", encoding="utf-8") as out:
        out.write("user zorvexd\ntopic readwrite zorvex/#\ntopic write homeassistant/#\n"
                  "user watcher\ntopic read #\ntopic write zorvex/+/+/set\n")
    broker = Broker(folder, f"allow_anonymous false\npassword_file {passwords}\nacl_file {acl}\n")

    refused = Setup(folder, [dict(UNIT)], broker=broker, watcher=("-u", "watcher", "-P", "look"))
    assert refused.wait_for_log("broker refused the connection")
    assert not refused.watcher.wait_for(f"zorvex/{NODE}/status", "online", timeout=1)
    refused.daemon.send_signal(signal.SIGTERM)
    refused.daemon.wait(timeout=5)
    refused.watcher.close()

    secret = os.path.join(folder, "zorvexd.password")
    with open(secret, "w", encoding="utf-8") as out:
        out.write("s3cret\n")
    s = Setup(folder, [dict(UNIT)], broker=broker, watcher=("-u", "watcher", "-P", "look"),
              daemon=("--username", "zorvexd", "--password-file", secret))
    try:
        assert s.watcher.wait_for(s.topic(0, "state"), "OFF")
        subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(broker.port), "-u",
                        "watcher", "-P", "look", "-q", "1", "-t", s.topic(0, "set"), "-m", "ON"],
                       check=True, timeout=5)
        assert s.watcher.wait_for(s.topic(0, "state"), "ON")
    finally:
        s.close()


def openssl(*arguments):
    subprocess.run(["openssl"] + list(arguments), check=True, capture_output=True, timeout=30)


def test_tls_with_the_brokers_certificate_and_host_name_checked(folder):
    ca_key, ca = os.path.join(folder, "ca.key"), os.path.join(folder, "ca.crt")
    key, request = os.path.join(folder, "broker.key"), os.path.join(folder, "broker.csr")
    cert, names = os.path.join(folder, "broker.crt"), os.path.join(folder, "names.ext")
    other = os.path.join(folder, "other.crt")
    for name, authority in ((ca_key, ca), (os.path.join(folder, "other.key"), other)):
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", name, "-out",
                authority, "-days", "2", "-subj", "/CN=zorvex test CA")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", request,
            "-subj", "/CN=localhost")
    with open(names, "w", encoding="utf-8") as out:
        out.write("subjectAltName=DNS:localhost\n")
    openssl("x509", "-req", "-in", request, "-CA", ca, "-CAkey", ca_key, "-CAcreateserial",
            "-out", cert, "-days", "2", "-extfile", names)
    broker = Broker(folder, f"allow_anonymous true\ncafile {ca}\ncertfile {cert}\n"
                            f"keyfile {key}\n")
    watcher = ("--cafile", ca, "--insecure")
    # Another CA, or the right one and another host name: no connection.
    for authority, host in ((other, "localhost"), (ca, "127.0.0.1")):
        wrong = Setup(folder, [dict(UNIT)], broker=broker, watcher=watcher,
                      daemon=("--cafile", authority), host=host)
        assert not wrong.watcher.wait_for(f"zorvex/{NODE}/status", "online", timeout=2)
        wrong.daemon.send_signal(signal.SIGTERM)
        wrong.daemon.wait(timeout=5)
        wrong.watcher.close()
    s = Setup(folder, [dict(UNIT)], broker=broker, watcher=watcher, daemon=("--cafile", ca),
              host="localhost")
    try:
        assert s.watcher.wait_for(s.topic(0, "state"), "OFF")
    finally:
        s.close()


def test_home_assistant_discovery_and_its_removal(folder):
    settings = os.path.join(folder, "zorvexd.conf")
    with open(settings, "w", encoding="utf-8") as out:
        out.write('discovery_removal = 1\n[units."1-4"]\nname = "Bench lamp"\n')
    s = Setup(folder, [dict(UNIT, port="1-4"), dict(UNIT, port="1-5")],
              daemon=("--config", settings))
    config = f"homeassistant/switch/{NODE}_%s/config"
    try:
        assert s.watcher.wait_for(config % "1-4") and s.watcher.wait_for(config % "1-5")
        retained = Watcher(s.broker.port)
        assert retained.wait_for(config % "1-4")
        record = json.loads(retained.payloads(config % "1-4")[0])
        retained.close()
        assert record["unique_id"] == f"zorvex_{NODE}_1-4" and record["name"] == "Bench lamp"
        assert record["command_topic"] == s.topic("1-4", "set")
        assert record["state_topic"] == s.topic("1-4", "state")
        assert [a["topic"] for a in record["availability"]] == [
            f"zorvex/{NODE}/status", s.topic("1-4", "available")]
        assert (record["device"]["manufacturer"], record["device"]["model"]) == (
            "Maker", "DELOQ-72N")

        subprocess.run([SIMCTL, "unplug", "0"], env=s.env, check=True)
        assert s.watcher.wait_for(config % "1-4", "")
        assert s.wait_for_log("unit 1-4 gone for 1 s: its discovery config removed")
        assert "" not in s.watcher.payloads(config % "1-5")

        # Gone while the broker was away, it is still removed once it is back.
        s.watcher.close()
        s.broker.stop()
        subprocess.run([SIMCTL, "unplug", "1"], env=s.env, check=True)
        assert s.wait_for_log("unit 1-5 gone")
        s.broker.start()
        s.watcher = Watcher(s.broker.port)
        assert s.watcher.wait_for(config % "1-5", "", timeout=10)
    finally:
        s.close()


UMOCKDEV_TOOL = os.environ.get("ZORVEX_UMOCKDEV_TOOL", "")
HARDWARE_ZORVEXD = os.environ.get("ZORVEXD_HARDWARE", "")
HARDWARE_CUI = os.environ.get("ZORVEX_HARDWARE_CUI", "")


@pytest.mark.skipif(not (UMOCKDEV_TOOL and HARDWARE_ZORVEXD and HARDWARE_CUI),
                    reason="no umockdev testbed tool or hardware build")
def test_console_beside_the_polling_daemon_through_hidapi(folder):
    """Both the hardware builds on one umockdev testbed: every reply of the
    chip reaches both programs' handles, as hidraw's do, and each must pass
    over the other's."""
    scenario = os.path.join(folder, "chips.json")
    with open(scenario, "w", encoding="utf-8") as out:
        json.dump({"devices": [dict(UNIT, port="1-4")]}, out)
    broker = Broker(folder)
    watcher = Watcher(broker.port)
    log = os.path.join(folder, "zorvexd.log")
    gpio = (f'python3 -c "import json,sys; sys.exit(json.load(open(\'{scenario}\'))'
            f'[\'devices\'][0][\'gpioOutput\'][0] != $1)"')
    script = f"""
check() {{ {gpio}; }}
"{HARDWARE_ZORVEXD}" --config /dev/null --broker 127.0.0.1:{broker.port} --node-id {NODE} \\
    --poll-interval 0.05 --no-discovery 2>"{log}" &
daemon=$!
# A round that fails ends the daemon too, so that the failure shows at once.
trap 'kill -TERM $daemon 2>/dev/null' EXIT
for round in 1 2 3 4 5 6 7 8 9 10; do
    "{HARDWARE_CUI}" 0 -on && check 1 || exit 11
    sleep 0.1
    "{HARDWARE_CUI}" 0 -off && check 0 || exit 12
    sleep 0.1
done
kill -TERM $daemon
wait $daemon
"""
    try:
        result = subprocess.run([UMOCKDEV_TOOL, scenario, "--", "sh", "-c", script],
                                timeout=60, capture_output=True, text=True)
        assert result.returncode == 0, (result.returncode, result.stderr)
        assert watcher.wait_for("zorvex/bench/1-4/state", "ON")
        assert watcher.wait_for("zorvex/bench/1-4/state", "OFF")
        with open(log, encoding="utf-8") as source:
            text = source.read()
        assert "unit 1-4 appeared" in text
        assert "gone" not in text and "offline" not in watcher.payloads(
            "zorvex/bench/1-4/available"), text
    finally:
        watcher.close()
        broker.stop()


def test_a_silent_chip_is_offline_and_back_when_it_answers(folder):
    s = Setup(folder, [dict(UNIT, responds=False)])
    try:
        assert s.watcher.wait_for(s.topic(0, "available"), "offline")
        assert s.watcher.payloads(s.topic(0, "state")) == []
        with open(s.scenario, encoding="utf-8") as source:
            document = json.load(source)
        document["devices"][0]["responds"] = True
        with open(s.scenario + ".new", "w", encoding="utf-8") as out:
            json.dump(document, out)
        os.replace(s.scenario + ".new", s.scenario)
        assert s.watcher.wait_for(s.topic(0, "available"), "online")
        assert s.watcher.wait_for(s.topic(0, "state"), "OFF")
    finally:
        s.close()
