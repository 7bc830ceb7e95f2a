"""Asking zorvexd through the broker, and knowing what came of it: MQTT 5
requests with a response topic (mosquitto_rr, paho, zorvexctl --broker),
power cycles, and what is never answered. On simulated chips, with the
simulated build's zorvexd and zorvexctl (ZORVEXD, ZORVEXCTL)."""

import json
import os
import subprocess
import threading
import time

import paho.mqtt.client as mqtt
from paho.mqtt.packettypes import PacketTypes
from paho.mqtt.properties import Properties
import pytest

from mqtt_peers import NODE, UNIT, Setup

ZORVEXCTL = os.environ.get("ZORVEXCTL", "zorvexctl")


@pytest.fixture
def three_units(folder):
    setup = Setup(folder, [dict(UNIT), dict(UNIT, gpSettings=[18, 19, 17, 17]), dict(UNIT)],
                  daemon=["--cycle-off-time", "0.5"])
    assert setup.watcher.wait_for(setup.topic(2, "available"), "online")
    yield setup
    setup.close()


def gp0(setup, index):
    return setup.chip(index).get("gpioOutput", [0])[0]


def ctl(setup, *arguments, timeout=2):
    started = time.monotonic()
    result = subprocess.run([ZORVEXCTL, "--config", "/dev/null", "--broker",
                             f"127.0.0.1:{setup.broker.port}", "--node-id", NODE,
                             "--timeout", str(timeout), *arguments],
                            capture_output=True, text=True, timeout=30)
    return result, time.monotonic() - started


def rr(setup, topic, payload, answer_topic, wait=2):
    return subprocess.run(["mosquitto_rr", "-h", "127.0.0.1", "-p", str(setup.broker.port),
                           "-V", "mqttv5", "-t", topic, "-m", payload, "-e", answer_topic,
                           "-W", str(wait)], capture_output=True, text=True, timeout=10)


def test_zorvexctl_through_the_broker_exits_0_only_when_done(three_units):
    s = three_units
    result, _ = ctl(s, "on", "0")
    assert (result.returncode, result.stderr) == (0, "") and gp0(s, 0) == 1
    result, _ = ctl(s, "state", "0")
    assert (result.returncode, result.stdout) == (0, "ON\n")
    result, _ = ctl(s, "on", "1")
    assert result.returncode == 1
    assert result.stderr.startswith("zorvexctl: unit 1 cannot be switched")
    result, _ = ctl(s, "off", "7")
    assert (result.returncode, result.stderr) == (1, "zorvexctl: no unit 7 here\n")
    result, _ = ctl(s, "list", "--json")
    assert [(u["id"], u["state"], u["switchable"]) for u in json.loads(result.stdout)] == [
        ("0", "ON", True), ("1", None, False), ("2", "OFF", True)]
    # zorvexd gone: no answer, within the timeout.
    s.daemon.terminate()
    s.daemon.wait(timeout=5)
    result, took = ctl(s, "off", "0", timeout=1)
    assert result.returncode == 1 and "no answer from the zorvexd of node bench" in result.stderr
    assert 1 <= took < 2.5 and gp0(s, 0) == 1


def test_mosquitto_rr_gets_the_state_read_back(three_units):
    s = three_units
    result = rr(s, s.topic(0, "set"), "ON", "replies/rr")
    assert result.returncode == 0
    assert json.loads(result.stdout) == {"done": True, "state": "ON"}
    result = rr(s, s.topic(1, "set"), "ON", "replies/rr")
    answer = json.loads(result.stdout)
    assert answer["done"] is False and "run zorvex_cui 1 -set" in answer["reason"]


@pytest.mark.parametrize("answer_topic", [
    "zorvex/bench/2/set", "zorvex/other/0/set", "zorvex", "homeassistant/switch/x/config"])
def test_an_answer_on_zorvexds_own_topics_is_never_sent_and_nothing_switches(three_units,
                                                                            answer_topic):
    s = three_units
    s.watcher.forget()
    result = rr(s, s.topic(0, "set"), "ON", answer_topic, wait=1)
    assert result.returncode != 0 and result.stdout == ""
    assert s.wait_for_log("its answer is asked for on")
    assert gp0(s, 0) == 0 and gp0(s, 2) == 0
    assert not any(t == answer_topic for _, t, _ in s.watcher.seen)


def test_a_cycle_reads_back_off_then_on_and_the_others_are_served_meanwhile(three_units):
    s = three_units
    assert s.watcher.wait_for(s.topic(0, "state"), "OFF")
    s.publish(s.topic(0, "set"), "ON")
    assert s.watcher.wait_for(s.topic(0, "state"), "ON")
    s.watcher.forget()
    # One client asks for the cycle (off for 1 s), then, during its wait,
    # for another unit's switch, timing the answers.
    answers = {}
    arrived = threading.Event()
    client = mqtt.Client(client_id="cycle-test", protocol=mqtt.MQTTv5)

    def on_message(_client, _data, message):
        answers[message.properties.CorrelationData.decode()] = (time.monotonic(),
                                                                json.loads(message.payload))
        arrived.set()

    client.on_message = on_message
    client.connect("127.0.0.1", s.broker.port)
    client.loop_start()
    try:
        client.subscribe("replies/cycle", qos=1)
        time.sleep(0.2)
        sent = {}
        for correlation, unit, leaf, payload in (("cycle", 0, "cycle", "1"),
                                                 ("set", 2, "set", "ON")):
            properties = Properties(PacketTypes.PUBLISH)
            properties.ResponseTopic = "replies/cycle"
            properties.CorrelationData = correlation.encode()
            sent[correlation] = time.monotonic()
            client.publish(s.topic(unit, leaf), payload, qos=1, properties=properties)
            if correlation == "cycle":
                assert s.watcher.wait_for(s.topic(0, "state"), "OFF")
                sent[correlation] = sent["cycle"]
        deadline = time.monotonic() + 5
        while len(answers) < 2 and time.monotonic() < deadline:
            arrived.wait(0.1)
            arrived.clear()
    finally:
        client.loop_stop()
        client.disconnect()
    # The set is answered during the cycle's wait, not after it (how soon
    # is tools/bench-zorvexd's to measure).
    assert answers["set"][1] == {"done": True, "state": "ON"}
    assert answers["cycle"][1] == {"done": True, "state": "ON"}
    assert answers["cycle"][0] - sent["cycle"] >= 1
    assert answers["set"][0] < answers["cycle"][0] - 0.5
    assert s.watcher.wait_for(s.topic(0, "state"), "ON")
    assert s.watcher.payloads(s.topic(0, "state")) == ["OFF", "ON"]
    assert gp0(s, 0) == 1 and gp0(s, 2) == 1


def test_an_empty_cycle_waits_cycle_off_time_and_home_assistant_has_its_button(three_units):
    s = three_units
    button = f"homeassistant/button/{NODE}_0/config"
    assert s.watcher.wait_for(button)
    config = json.loads(s.watcher.payloads(button)[-1])
    assert (config["command_topic"], config["payload_press"]) == (s.topic(0, "cycle"), "")
    s.watcher.forget()
    result, took = ctl(s, "cycle", "0")
    assert result.returncode == 0 and 0.5 <= took < 2.5
    assert s.watcher.wait_for(s.topic(0, "state"), "ON")
    assert s.watcher.payloads(s.topic(0, "state")) == ["OFF", "ON"]
    # A bad off time is refused, with the reason.
    result = rr(s, s.topic(0, "cycle"), "9999", "replies/rr")
    assert "is not an off time" in json.loads(result.stdout)["reason"]
