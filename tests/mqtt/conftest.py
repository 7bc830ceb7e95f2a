"""What the MQTT tests share: a scratch folder, and two simulated units
(one that switches, one still as the factory left it) behind a zorvexd on a
broker of their own."""

import shutil
import tempfile

import pytest

from mqtt_peers import UNIT, Setup


@pytest.fixture
def folder():
    path = tempfile.mkdtemp(prefix="zorvexd-test-")
    yield path
    shutil.rmtree(path, ignore_errors=True)


@pytest.fixture
def two_units(folder):
    setup = Setup(folder, [dict(UNIT), dict(UNIT, gpSettings=[18, 19, 17, 17])])
    yield setup
    setup.close()
