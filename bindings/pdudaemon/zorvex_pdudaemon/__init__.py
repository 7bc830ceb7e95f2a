"""PDUDaemon's driver for DELOQ-72N units: one PDU is one machine's units
(one zorvexd node), its ports the units, switched through zorvexctl.

In pdudaemon.conf:

    "pdus": {
        "bench": {
            "driver": "zorvex",
            "units": {"1": "1-1.4", "2": "lab psu"},
            "zorvexctl": "/usr/bin/zorvexctl",
            "broker": "mqtt.lab:8883", "node_id": "rack3",
            "username": "pdudaemon", "password_file": "/etc/pdudaemon/mqtt-password",
            "cafile": "/etc/ssl/certs/lab-ca.pem"
        }
    }

`units` maps PDUDaemon's port numbers (as text) to unit ids or names from
zorvexd's settings. Without `broker`, zorvexctl switches the units of the
machine PDUDaemon runs on; with it, it asks that node's zorvexd. A switch
that does not read back as asked raises, so that PDUDaemon logs it (and
tries again, as its `retries` say).
"""

import subprocess

from pdudaemon.drivers.driver import FailedRequestException, PDUDriver

# How zorvexctl's options are named in a PDU's settings.
OPTIONS = {"broker": "--broker", "node_id": "--node-id", "base_topic": "--base-topic",
           "username": "--username", "password_file": "--password-file",
           "cafile": "--cafile", "cert": "--cert", "key": "--key", "config": "--config",
           "timeout": "--timeout"}

# zorvexctl waits for zorvexd at most its --timeout (at most a minute).
RUN_BOUND = 90


class Zorvex(PDUDriver):
    """The units of one zorvex node as the ports of one PDU."""

    def __init__(self, hostname, settings):
        super().__init__()
        self.hostname = hostname
        self.units = {str(port): str(unit) for port, unit in settings.get("units", {}).items()}
        self.command = [settings.get("zorvexctl", "/usr/bin/zorvexctl")]
        for key, flag in OPTIONS.items():
            if key in settings:
                self.command += [flag, str(settings[key])]

    @classmethod
    def accepts(cls, drivername):
        return drivername == "zorvex"

    def port_interaction(self, command, port_number):
        unit = self.units.get(str(port_number))
        if unit is None:
            raise FailedRequestException(
                f"zorvex PDU {self.hostname}: port {port_number} has no unit in its settings")
        result = subprocess.run(self.command + [command, unit], capture_output=True, text=True,
                                timeout=RUN_BOUND, check=False)
        if result.returncode != 0:
            raise FailedRequestException(
                f"zorvex PDU {self.hostname}: port {port_number} (unit {unit}) {command}: "
                + (result.stderr.strip() or f"zorvexctl exit code {result.returncode}"))
