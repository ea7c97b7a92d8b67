#!/usr/bin/env python3
# bench/screenwatch.py X Y WIDTH HEIGHT [PERIOD_MS]
# Reads a rectangle of the X screen named by DISPLAY every PERIOD_MS (default
# 100) and prints "MILLISECONDS_SINCE_MIDNIGHT HASH" each time its pixels
# change, until it is ended. For timing a program that writes no log of its
# drawing: the moment the screen first shows what it shows at last.
# The rectangle alone is read, from the server's memory, so that the watch
# takes little of the machine that the watched program runs on.
import ctypes
import datetime
import hashlib
import sys
import time


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int)]


def main():
    x, y, width, height = (int(v) for v in sys.argv[1:5])
    period = (int(sys.argv[5]) if len(sys.argv) > 5 else 100) / 1000
    xlib = ctypes.cdll.LoadLibrary("libX11.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XDefaultRootWindow.restype = ctypes.c_ulong
    xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    xlib.XGetImage.restype = ctypes.POINTER(XImage)
    xlib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                               ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    xlib.XDestroyImage.argtypes = [ctypes.POINTER(XImage)]
    display = xlib.XOpenDisplay(None)
    if not display:
        sys.exit("screenwatch.py: no display")
    root = xlib.XDefaultRootWindow(display)
    last = None
    while True:
        image = xlib.XGetImage(display, root, x, y, width, height, 0xFFFFFFFF, 2)  # all planes, ZPixmap
        if image:
            now = datetime.datetime.now()
            pixels = ctypes.string_at(image.contents.data, image.contents.bytes_per_line * height)
            xlib.XDestroyImage(image)
            digest = hashlib.md5(pixels).hexdigest()
            if digest != last:
                midnight = now.replace(hour=0, minute=0, second=0, microsecond=0)
                print(int((now - midnight).total_seconds() * 1000), digest, flush=True)
                last = digest
        time.sleep(period)


if __name__ == "__main__":
    main()
