"""Switch DELOQ-72N units on and off from Python, through zorvex.dll.

    import zorvex
    lib = zorvex.Library("build/native/bin")   # the folder, or the file itself
    for n in range(lib.chip_count()):
        print(n, lib.chip_info(n))
    lib.switch(0, True)

Chip numbers count every MCP2221A attached, units included; unit numbers
count switch units only. Both are positions at the moment of the call.
"""

import ctypes
import os

__all__ = ["Library"]

LIBRARY_FILE = "zorvex.dll"
# Where the Debian package installs the library.
INSTALLED_LIBRARY = "/usr/lib/zorvex/" + LIBRARY_FILE
_ENTRY_POINTS = (
    "getMcp2221aNum",
    "getZorvexNum",
    "getMcp2221aInfo",
    "setMcp2221aForZorvex",
    "switchZorvex",
)
# A USB string has at most 256 code units; with its zero, 257 always fit, so
# the library copies into these buffers and never allocates.
_TEXT_UNITS = 257


class _WideText(ctypes.Structure):
    _fields_ = [
        ("units", ctypes.POINTER(ctypes.c_uint16)),
        ("length", ctypes.c_uint32),
        ("capacity", ctypes.c_uint32),
        ("owned", ctypes.c_uint32),
    ]


class _Buffer:
    """A WideText over a buffer Python owns."""

    def __init__(self):
        self._units = (ctypes.c_uint16 * _TEXT_UNITS)()
        self.text = _WideText(
            ctypes.cast(self._units, ctypes.POINTER(ctypes.c_uint16)), 0, _TEXT_UNITS, 0
        )

    def value(self):
        length = min(self.text.length, _TEXT_UNITS - 1)
        data = ctypes.string_at(self._units, 2 * length)
        return data.decode("utf-16-le", errors="replace")


class Library:
    """zorvex.dll, loaded from `path`: the library file or its folder."""

    def __init__(self, path=INSTALLED_LIBRARY):
        path = os.fspath(path)
        if os.path.isdir(path):
            path = os.path.join(path, LIBRARY_FILE)
        if not os.path.isfile(path):
            raise OSError(f"zorvex: no library at {path}")
        try:
            dll = ctypes.CDLL(os.path.abspath(path))
        except OSError as error:
            raise OSError(f"zorvex: cannot load {path}: {error}") from error
        missing = [name for name in _ENTRY_POINTS if not hasattr(dll, name)]
        if missing:
            raise OSError(f"zorvex: {path} lacks {', '.join(missing)}: not a zorvex library")

        self._dll = dll
        dll.getMcp2221aNum.argtypes = []
        dll.getMcp2221aNum.restype = ctypes.c_uint32
        dll.getZorvexNum.argtypes = []
        dll.getZorvexNum.restype = ctypes.c_uint32
        dll.getMcp2221aInfo.argtypes = [
            ctypes.c_uint32,
            ctypes.POINTER(_WideText),
            ctypes.POINTER(_WideText),
        ]
        dll.getMcp2221aInfo.restype = ctypes.c_bool
        dll.setMcp2221aForZorvex.argtypes = [ctypes.c_uint32]
        dll.setMcp2221aForZorvex.restype = ctypes.c_bool
        dll.switchZorvex.argtypes = [ctypes.c_uint32, ctypes.c_uint32]
        dll.switchZorvex.restype = ctypes.c_bool

    def chip_count(self):
        """The number of MCP2221A chips attached, switch units included."""
        return self._dll.getMcp2221aNum()

    def unit_count(self):
        """The number of switch units attached."""
        return self._dll.getZorvexNum()

    def chip_info(self, chip):
        """(manufacturer, product) of chip number `chip`, or None when there
        is no such chip or it does not answer. A string the chip cannot give
        is empty."""
        manufacturer = _Buffer()
        product = _Buffer()
        if not self._dll.getMcp2221aInfo(
            _number(chip), ctypes.byref(manufacturer.text), ctypes.byref(product.text)
        ):
            return None
        return manufacturer.value(), product.value()

    def set_up(self, chip):
        """Makes chip number `chip` a switch unit (effective after a replug).
        True when the chip took both flash writes."""
        return self._dll.setMcp2221aForZorvex(_number(chip))

    def switch(self, unit, on):
        """Switches unit number `unit` on or off. True when the unit did."""
        return self._dll.switchZorvex(_number(unit), 1 if on else 0)


def _number(value):
    number = int(value)
    if not 0 <= number <= 0xFFFFFFFF:
        raise ValueError(f"zorvex: {value} is not a chip or unit number")
    return number
