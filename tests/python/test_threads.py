"""Conversions and reads in eight threads at once give each thread exactly
what the program gives, failures and their texts included."""

import os
import re
import shutil
import threading

import numpy as np

import qvconv
from conftest import RECORDS, program_frames, run_qvconv

THREADS = 8
ROUNDS = 10


def jobs(work):
    """(input, output extension) pairs: every direction, and some that fail
    (damaged records, a header the target cannot hold, a missing input)."""
    (work / "damaged.xqv").write_bytes((work / "event.xqv").read_bytes()[:200])
    data, info = qvconv.read(work / "event.raw")
    qvconv.write(work / "rate0.raw", data, {**info.header, "rate": 0})
    (work / "short-line.txt").write_bytes(
        (work / "event.txt").read_bytes().replace(b"\r\n0.000976 ", b"\r\n0.000976 1\r\n0 ", 1))
    out = [(name, ext) for name in RECORDS for ext in ("raw", "txt", "xqv", "bqv")]
    failing = [("damaged.xqv", "raw"), ("short-line.txt", "raw"), ("missing.raw", "txt"),
               ("rate0.raw", "xqv"), ("rate0.raw", "bqv")]
    return out + failing * 4  # failures often side by side, where texts could mix


def outcome(work, out_dir, job, convert):
    """The output's bytes, or the error text with the directory and the
    temporary name's random part taken out."""
    src, ext = job
    dst = out_dir / f"{src}.{ext}"
    err = convert(work / src, dst)
    if err is None:
        return dst.read_bytes()
    err = err.replace(str(out_dir), "<out>")
    return re.sub(r"(\.(?:raw|txt|xqv|bqv))\.[A-Za-z0-9]{6}\b", r"\1.TMP", err)


def by_program(src, dst):
    rc, errors = run_qvconv(src, dst)
    return None if rc == 0 else errors[0]


def by_module(src, dst):
    try:
        qvconv.convert(src, dst)
        return None
    except qvconv.Error as e:
        return str(e)


def test_eight_threads_convert_and_read_as_the_program_does(work):
    todo = jobs(work)
    expected = {}
    for job in todo:
        (work / "ref").mkdir(exist_ok=True)
        expected[job] = outcome(work, work / "ref", job, by_program)
    assert sum(isinstance(v, str) for v in expected.values()) >= 5  # failures are among them
    frames = {name: program_frames(work / name, work) for name in RECORDS}

    start = threading.Barrier(THREADS)
    mismatches = []

    def worker(t):
        out_dir = work / f"t{t}"
        out_dir.mkdir()
        start.wait()
        for r in range(ROUNDS):
            for k in range(len(todo)):
                job = todo[(k + t + r) % len(todo)]  # threads at different jobs
                got = outcome(work, out_dir, job, by_module)
                if got != expected[job]:
                    mismatches.append((t, job, got if isinstance(got, str) else "bytes differ"))
                if isinstance(got, bytes):
                    os.unlink(out_dir / f"{job[0]}.{job[1]}")
            # Failures back to back without the GIL, as convert_tree runs them.
            failing = [j for j in todo if isinstance(expected[j], str) and j[0] != "missing.raw"] * 5
            pairs = [(str(work / src), str(out_dir / f"{src}.{ext}")) for src, ext in failing]
            _, _, errors = qvconv._convert_batch(pairs)
            for job, err in zip(failing, errors):
                got = outcome(work, out_dir, job, lambda *_: err)
                if got != expected[job]:
                    mismatches.append((t, job, got))
            name = RECORDS[(t + r) % len(RECORDS)]
            data, _ = qvconv.read(work / name)
            if data.tobytes() != frames[name].tobytes():
                mismatches.append((t, name, "read differs"))

    threads = [threading.Thread(target=worker, args=(t,)) for t in range(THREADS)]
    for th in threads:
        th.start()
    for th in threads:
        th.join(timeout=300)
    assert not any(th.is_alive() for th in threads)
    assert mismatches == []
    for t in range(THREADS):  # no temporary file anywhere
        assert os.listdir(work / f"t{t}") == []
    shutil.rmtree(work / "ref")
