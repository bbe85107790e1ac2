"""Shared helpers of the Python module's tests: the shipped example records
and the program itself (QVCONV_BIN), whose outputs are the reference."""

import os
import shutil
import subprocess

import numpy as np
import pytest

import qvconv

EXAMPLES = os.environ.get("QV_EXAMPLES", os.path.join(os.path.dirname(__file__), "../../examples"))
QVCONV = os.environ.get("QVCONV_BIN", "qvconv")

# One record of each format, and the background record as raw.
RECORDS = ["event.raw", "event.txt", "event.xqv", "background.bqv", "background.raw"]


def example(name):
    return os.path.join(EXAMPLES, name)


def run_qvconv(*args):
    """qvconv's exit status and its "error: " lines, without the prefix."""
    p = subprocess.run([QVCONV, *map(str, args)], capture_output=True, text=True)
    errors = [line[len("error: "):] for line in p.stderr.splitlines() if line.startswith("error: ")]
    return p.returncode, errors


def program_frames(src, work):
    """The doubles qvconv writes to a raw record converted from `src`."""
    dst = os.path.join(work, os.path.basename(src) + ".ref.raw")
    rc, errors = run_qvconv(src, dst)
    assert rc == 0, errors
    raw = open(dst, "rb").read()
    nchans = qvconv.info(dst).channels
    return np.frombuffer(raw, "<f8", offset=qvconv._core.HEADER_SIZE).reshape(-1, nchans)


def files_under(root):
    """Relative path -> bytes of every file below `root`."""
    out = {}
    for d, _, names in os.walk(root):
        for n in names:
            p = os.path.join(d, n)
            out[os.path.relpath(p, root)] = open(p, "rb").read()
    return out


@pytest.fixture
def work(tmp_path):
    """A scratch directory holding a copy of every example record."""
    for name in RECORDS:
        shutil.copy(example(name), tmp_path / name)
    return tmp_path
