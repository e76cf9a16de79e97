"""Reads and sets the gamma ramps of an X display's CRTCs through libXrandr,
with ctypes: an outside view of the ramps, independent of veltrane-lut's own
X11 code, for the end-to-end tests."""

import ctypes
import ctypes.util
from typing import Dict, List, Tuple

Ramp = Tuple[List[int], List[int], List[int]]


class _ScreenResources(ctypes.Structure):
    _fields_ = [("timestamp", ctypes.c_ulong), ("configTimestamp", ctypes.c_ulong),
                ("ncrtc", ctypes.c_int), ("crtcs", ctypes.POINTER(ctypes.c_ulong)),
                ("noutput", ctypes.c_int), ("outputs", ctypes.POINTER(ctypes.c_ulong)),
                ("nmode", ctypes.c_int), ("modes", ctypes.c_void_p)]


class _CrtcGamma(ctypes.Structure):
    _fields_ = [("size", ctypes.c_int), ("red", ctypes.POINTER(ctypes.c_ushort)),
                ("green", ctypes.POINTER(ctypes.c_ushort)), ("blue", ctypes.POINTER(ctypes.c_ushort))]


def _load(name: str) -> ctypes.CDLL:
    path = ctypes.util.find_library(name)
    if path is None:
        raise OSError(f"lib{name} not found")
    return ctypes.CDLL(path)


class XDisplayRamps:
    """XDisplayRamps(":180") as a context manager; ramps() maps each CRTC id
    to its (red, green, blue) lists; set_ramp(crtc, ramp) loads one."""

    def __init__(self, name: str):
        self.x11 = _load("X11")
        self.xrandr = _load("Xrandr")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.xrandr.XRRGetScreenResourcesCurrent.restype = ctypes.POINTER(_ScreenResources)
        self.xrandr.XRRGetScreenResourcesCurrent.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.xrandr.XRRFreeScreenResources.argtypes = [ctypes.POINTER(_ScreenResources)]
        self.xrandr.XRRGetCrtcGamma.restype = ctypes.POINTER(_CrtcGamma)
        self.xrandr.XRRGetCrtcGamma.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.xrandr.XRRAllocGamma.restype = ctypes.POINTER(_CrtcGamma)
        self.xrandr.XRRAllocGamma.argtypes = [ctypes.c_int]
        self.xrandr.XRRSetCrtcGamma.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(_CrtcGamma)]
        self.xrandr.XRRFreeGamma.argtypes = [ctypes.POINTER(_CrtcGamma)]
        self.display = self.x11.XOpenDisplay(name.encode())
        if not self.display:
            raise OSError(f"cannot open X display {name}")

    def close(self) -> None:
        if self.display:
            self.x11.XCloseDisplay(self.display)
            self.display = None

    def __enter__(self) -> "XDisplayRamps":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def crtcs(self) -> List[int]:
        root = self.x11.XDefaultRootWindow(self.display)
        resources = self.xrandr.XRRGetScreenResourcesCurrent(self.display, root)
        ids = [resources.contents.crtcs[i] for i in range(resources.contents.ncrtc)]
        self.xrandr.XRRFreeScreenResources(resources)
        return ids

    def ramp(self, crtc: int) -> Ramp:
        gamma = self.xrandr.XRRGetCrtcGamma(self.display, crtc)
        size = gamma.contents.size
        ramp = ([gamma.contents.red[i] for i in range(size)],
                [gamma.contents.green[i] for i in range(size)],
                [gamma.contents.blue[i] for i in range(size)])
        self.xrandr.XRRFreeGamma(gamma)
        return ramp

    def ramps(self) -> Dict[int, Ramp]:
        return {crtc: self.ramp(crtc) for crtc in self.crtcs()}

    def set_ramp(self, crtc: int, ramp: Ramp) -> None:
        size = len(ramp[0])
        gamma = self.xrandr.XRRAllocGamma(size)
        for i in range(size):
            gamma.contents.red[i] = ramp[0][i]
            gamma.contents.green[i] = ramp[1][i]
            gamma.contents.blue[i] = ramp[2][i]
        self.xrandr.XRRSetCrtcGamma(self.display, crtc, gamma)
        self.xrandr.XRRFreeGamma(gamma)
        self.x11.XSync(self.display, 0)
