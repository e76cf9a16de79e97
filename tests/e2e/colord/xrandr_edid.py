"""Sets or removes the EDID property of an X output through libXrandr, with
ctypes: Xvfb's output has no monitor, so a test gives it one."""

import ctypes
import ctypes.util
from typing import Optional


class _ScreenResources(ctypes.Structure):
    _fields_ = [("timestamp", ctypes.c_ulong), ("configTimestamp", ctypes.c_ulong),
                ("ncrtc", ctypes.c_int), ("crtcs", ctypes.POINTER(ctypes.c_ulong)),
                ("noutput", ctypes.c_int), ("outputs", ctypes.POINTER(ctypes.c_ulong))]


class _OutputInfo(ctypes.Structure):
    _fields_ = [("timestamp", ctypes.c_ulong), ("crtc", ctypes.c_ulong),
                ("name", ctypes.c_char_p), ("nameLen", ctypes.c_int)]


# Xlib's default error handler ends the process; removing an EDID that is
# not there must not end the test run.
_ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
_ignore_errors = _ERROR_HANDLER(lambda display, event: 0)


def _load(name: str) -> ctypes.CDLL:
    path = ctypes.util.find_library(name)
    if path is None:
        raise OSError(f"lib{name} not found")
    return ctypes.CDLL(path)


def set_output_edid(display_name: str, output_name: str, edid: Optional[bytes]) -> None:
    """Gives output `output_name` the EDID `edid`, or takes its EDID away (None)."""
    x11, xrandr = _load("X11"), _load("Xrandr")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    xrandr.XRRGetScreenResourcesCurrent.restype = ctypes.POINTER(_ScreenResources)
    xrandr.XRRGetScreenResourcesCurrent.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    xrandr.XRRFreeScreenResources.argtypes = [ctypes.POINTER(_ScreenResources)]
    xrandr.XRRGetOutputInfo.restype = ctypes.POINTER(_OutputInfo)
    xrandr.XRRGetOutputInfo.argtypes = [ctypes.c_void_p, ctypes.POINTER(_ScreenResources), ctypes.c_ulong]
    xrandr.XRRFreeOutputInfo.argtypes = [ctypes.POINTER(_OutputInfo)]
    xrandr.XRRChangeOutputProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong,
                                               ctypes.c_int, ctypes.c_int, ctypes.c_char_p, ctypes.c_int]
    xrandr.XRRDeleteOutputProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong]

    x11.XSetErrorHandler.restype = ctypes.c_void_p
    x11.XSetErrorHandler.argtypes = [_ERROR_HANDLER]
    display = x11.XOpenDisplay(display_name.encode())
    if not display:
        raise OSError(f"cannot open X display {display_name}")
    previous = x11.XSetErrorHandler(_ignore_errors)
    try:
        resources = xrandr.XRRGetScreenResourcesCurrent(display, x11.XDefaultRootWindow(display))
        output = None
        for i in range(resources.contents.noutput):
            info = xrandr.XRRGetOutputInfo(display, resources, resources.contents.outputs[i])
            if info.contents.name[:info.contents.nameLen].decode() == output_name:
                output = resources.contents.outputs[i]
            xrandr.XRRFreeOutputInfo(info)
        xrandr.XRRFreeScreenResources(resources)
        if output is None:
            raise OSError(f"no output {output_name} on {display_name}")
        atom = x11.XInternAtom(display, b"EDID", 0)
        if edid is None:
            xrandr.XRRDeleteOutputProperty(display, output, atom)
        else:
            integer = x11.XInternAtom(display, b"INTEGER", 0)
            xrandr.XRRChangeOutputProperty(display, output, atom, integer, 8, 0, edid, len(edid))  # PropModeReplace
        x11.XSync(display, 0)
    finally:
        x11.XCloseDisplay(display)
        x11.XSetErrorHandler(ctypes.cast(previous, _ERROR_HANDLER) if previous else _ERROR_HANDLER())
