#!/usr/bin/python3
"""A text record written by qvconv loads with numpy.loadtxt.

Converts the shipped raw event record to text with the program under test and
checks that numpy reads the samples back: one row per frame, the time column
first, then each channel in sensor units (the raw value times the sensor
scale) to the six significant digits of the text format.

usage: numpy_load.py QVCONV RAW-RECORD WORKDIR
Exit status 77 (skipped) when numpy is not installed.
"""
import os
import struct
import subprocess
import sys

try:
    import numpy as np
except ImportError:
    print("numpy is not installed (python3-numpy): skipped")
    sys.exit(77)

HEADER = 920  # the 64-bit raw header record
OFF_NSIGNALS, OFF_SIGNALS, OFF_NSAMPLES = 24, 32, 72
OFF_SCALE, OFF_RATE = 688, 728


def main():
    qvconv, raw_path, work = sys.argv[1:4]
    os.makedirs(work, exist_ok=True)
    txt = os.path.join(work, "numpy-event.txt")
    if os.path.exists(txt):
        os.unlink(txt)
    subprocess.run([qvconv, raw_path, txt], check=True, stdout=subprocess.DEVNULL)

    raw = open(raw_path, "rb").read()
    nsignals = struct.unpack_from("<Q", raw, OFF_NSIGNALS)[0]
    signals = struct.unpack_from("<4I", raw, OFF_SIGNALS)[:nsignals]
    nchans = sum(1 if s == 6 else 3 for s in signals)
    nframes = struct.unpack_from("<I", raw, OFF_NSAMPLES)[0]
    scale = struct.unpack_from("<I", raw, OFF_SCALE)[0]
    rate = struct.unpack_from("<I", raw, OFF_RATE)[0]
    samples = np.frombuffer(raw, dtype="<f8", offset=HEADER).reshape(nframes, nchans)

    data = np.loadtxt(txt, comments="#")
    assert data.shape == (nframes, nchans + 1), data.shape
    # Time of each frame in seconds: the interval is kept in whole
    # microseconds (976 at 1024 frames per second).
    step_us = 1000000 // rate
    assert np.allclose(data[:, 0], np.arange(nframes) * step_us / 1e6, rtol=0, atol=1e-7)
    # Values in sensor units, six significant digits.
    expected = samples * scale
    assert np.allclose(data[:, 1:], expected, rtol=1e-5, atol=1e-9), \
        np.max(np.abs(data[:, 1:] - expected))
    print(f"numpy read {data.shape[0]} frames of {nchans} channels from {txt}")


if __name__ == "__main__":
    main()
