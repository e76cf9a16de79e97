"""Reads and sets an X screen's gamma ramp through the XFree86-VidModeExtension
(libXxf86vm), with ctypes: the ramp Wine's GDI gamma functions drive, seen
from outside Wine, for the end-to-end tests of the Windows tools."""

import ctypes
import ctypes.util
from typing import List, Tuple

Ramp = Tuple[List[int], List[int], List[int]]


def _load(name: str) -> ctypes.CDLL:
    path = ctypes.util.find_library(name)
    if path is None:
        raise OSError(f"lib{name} not found")
    return ctypes.CDLL(path)


class VidModeRamp:
    """VidModeRamp(":380") as a context manager: ramp() gives screen 0's
    (red, green, blue) lists of 16-bit entries, set_ramp(ramp) loads one."""

    def __init__(self, name: str):
        self.x11 = _load("X11")
        self.vidmode = _load("Xxf86vm")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        entries = ctypes.POINTER(ctypes.c_ushort)
        self.vidmode.XF86VidModeGetGammaRampSize.argtypes = [ctypes.c_void_p, ctypes.c_int,
                                                             ctypes.POINTER(ctypes.c_int)]
        self.vidmode.XF86VidModeGetGammaRamp.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                                         entries, entries, entries]
        self.vidmode.XF86VidModeSetGammaRamp.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                                         entries, entries, entries]
        self.display = self.x11.XOpenDisplay(name.encode())
        if not self.display:
            raise OSError(f"cannot open X display {name}")

    def close(self) -> None:
        if self.display:
            self.x11.XCloseDisplay(self.display)
            self.display = None

    def __enter__(self) -> "VidModeRamp":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def size(self) -> int:
        size = ctypes.c_int(0)
        if not self.vidmode.XF86VidModeGetGammaRampSize(self.display, 0, ctypes.byref(size)):
            raise OSError("XF86VidModeGetGammaRampSize failed")
        return size.value

    def ramp(self) -> Ramp:
        size = self.size()
        channels = [(ctypes.c_ushort * size)() for _ in range(3)]
        if not self.vidmode.XF86VidModeGetGammaRamp(self.display, 0, size, *channels):
            raise OSError("XF86VidModeGetGammaRamp failed")
        return tuple(list(channel) for channel in channels)

    def set_ramp(self, ramp: Ramp) -> None:
        size = len(ramp[0])
        channels = [(ctypes.c_ushort * size)(*channel) for channel in ramp]
        if not self.vidmode.XF86VidModeSetGammaRamp(self.display, 0, size, *channels):
            raise OSError("XF86VidModeSetGammaRamp failed")
        self.x11.XSync(self.display, 0)
