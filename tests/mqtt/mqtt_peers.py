"""The peers zorvexd meets in the MQTT tests, all of them real programs: a
Mosquitto broker of the test's own, mosquitto_sub watching every topic,
mosquitto_pub, and zorvexd itself on simulated chips.

Every wait is bounded and ends as soon as what is awaited arrives.
ZORVEXD, ZORVEX_SIMCTL and ZORVEX_CUI name the simulated build's programs.
"""

import json
import os
import select
import signal
import socket
import subprocess
import time

ZORVEXD = os.environ.get("ZORVEXD", "zorvexd")
SIMCTL = os.environ.get("ZORVEX_SIMCTL", "zorvex_simctl")
CUI = os.environ.get("ZORVEX_CUI", "zorvex_cui")
NODE = "bench"

UNIT = {"vendorId": 1240, "productId": 221, "manufacturer": "Maker",
        "product": "DELOQ-72N SWITCHER", "gpSettings": [0, 0, 17, 0]}


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Broker:
    """A Mosquitto of the test's own. Started as root, Mosquitto reads its
    password, ACL and key files as the user mosquitto: they must be readable
    by everyone, as the folder must be."""

    def __init__(self, folder, settings="allow_anonymous true\n"):
        os.chmod(folder, 0o755)
        for name in os.listdir(folder):
            os.chmod(os.path.join(folder, name), 0o644)
        self.port = free_port()
        self.config = os.path.join(folder, "mosquitto.conf")
        with open(self.config, "w", encoding="utf-8") as out:
            out.write(f"listener {self.port}\npersistence false\n{settings}")
        self.process = None
        self.start()

    def start(self):
        self.process = subprocess.Popen(["mosquitto", "-c", self.config],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=0.2).close()
                return
            except OSError:
                time.sleep(0.02)
        raise RuntimeError("mosquitto did not start")

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=5)


class Watcher:
    """mosquitto_sub on everything: topic, payload and retain flag per line."""

    def __init__(self, port, client=()):
        self.process = subprocess.Popen(
            ["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-t", "#", "-F", "%r %t %p"]
            + list(client), stdout=subprocess.PIPE)
        self.pending = b""
        self.seen = []

    def wait_for(self, topic, payload=None, timeout=5.0):
        """Waits for `topic` to carry `payload` (None: anything); the messages
        read meanwhile are kept."""
        deadline = time.monotonic() + timeout
        if any(t == topic and payload in (None, p) for _, t, p in self.seen):
            return True
        while time.monotonic() < deadline:
            ready, _, _ = select.select([self.process.stdout], [], [],
                                        max(deadline - time.monotonic(), 0))
            if not ready:
                break
            chunk = os.read(self.process.stdout.fileno(), 65536)
            if not chunk:
                break
            self.pending += chunk
            *lines, self.pending = self.pending.split(b"\n")
            found = False
            for line in lines:
                retained, got_topic, got = (line.decode("utf-8", "replace").split(" ", 2)
                                            + [""])[:3]
                self.seen.append((retained, got_topic, got))
                found = found or (got_topic == topic and payload in (None, got))
            if found:
                return True
        return False

    def forget(self):
        """From now on, only messages still to come count."""
        self.seen.clear()

    def payloads(self, topic):
        return [got for _, got_topic, got in self.seen if got_topic == topic]

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=5)


class Setup:
    def __init__(self, folder, devices, broker=None, watcher=(), daemon=(),
                 host="127.0.0.1"):
        self.folder = folder
        self.scenario = os.path.join(folder, "chips.json")
        with open(self.scenario, "w", encoding="utf-8") as out:
            json.dump({"devices": devices}, out)
        self.env = dict(os.environ, ZORVEX_SIM_DEVICES=self.scenario)
        self.broker = broker or Broker(folder)
        self.watcher = Watcher(self.broker.port, watcher)
        self.log = open(os.path.join(folder, "zorvexd.log"), "w+", encoding="utf-8")
        self.daemon = subprocess.Popen(
            [ZORVEXD, "--config", "/dev/null", "--broker", f"{host}:{self.broker.port}",
             "--node-id", NODE, "--poll-interval", "0.2"] + list(daemon),
            env=self.env, stderr=self.log)

    def topic(self, unit, leaf):
        return f"zorvex/{NODE}/{unit}/{leaf}"

    def publish(self, topic, payload, retain=False):
        subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(self.broker.port),
                        "-q", "1", "-t", topic, "-m", payload] + (["-r"] if retain else []),
                       check=True, timeout=5)

    def chip(self, index):
        with open(self.scenario, encoding="utf-8") as source:
            return json.load(source)["devices"][index]

    def log_text(self):
        self.log.flush()
        self.log.seek(0)
        return self.log.read()

    def wait_for_log(self, text, timeout=5.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if text in self.log_text():
                return True
            time.sleep(0.02)
        return False

    def close(self):
        if self.daemon.poll() is None:
            self.daemon.send_signal(signal.SIGTERM)
            self.daemon.wait(timeout=5)
        self.watcher.close()
        self.broker.stop()
        self.log.close()
