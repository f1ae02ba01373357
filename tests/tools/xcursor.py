#!/usr/bin/env python3
"""Prints the cursor the X server shows now, as XFixes reports it: width,
height, hot spot, then the picture as rows of '#' (opaque dark), 'o' (opaque
light) and '.' (transparent). Used by the UI tests to check what the user
really sees, which the window system's own cursor state may not tell."""
import ctypes
import ctypes.util
import sys


class XFixesCursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                ("width", ctypes.c_ushort), ("height", ctypes.c_ushort),
                ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong),
                ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


def main():
    x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
    xfixes = ctypes.CDLL(ctypes.util.find_library("Xfixes"))
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(XFixesCursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    if not display:
        print("no display")
        return 1
    image = xfixes.XFixesGetCursorImage(display)
    if not image:
        print("no cursor image")
        return 1
    c = image.contents
    print(c.width, c.height, c.xhot, c.yhot)
    for y in range(c.height):
        row = []
        for x in range(c.width):
            argb = c.pixels[y * c.width + x] & 0xFFFFFFFF
            alpha = argb >> 24
            light = ((argb >> 16) & 0xFF) + ((argb >> 8) & 0xFF) + (argb & 0xFF) > 384
            row.append("." if alpha < 128 else ("o" if light else "#"))
        print("".join(row))
    return 0


if __name__ == "__main__":
    sys.exit(main())
