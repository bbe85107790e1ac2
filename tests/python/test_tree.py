"""convert_tree selects, names and converts exactly as the program's
directory mode, on a thread pool and on a Dask cluster of two processes."""

import faulthandler
import os
import re
import shutil
import subprocess

import numpy as np
import pytest

import qvconv
from conftest import QVCONV, example, files_under

N_RECORDS = 200


def make_tree(root):
    """200 records of every kind in nested directories (a dot-directory
    among them), a damaged record, files the walk ignores or skips."""
    event, ev = qvconv.read(example("event.raw"))
    back, bg = qvconv.read(example("background.raw"))
    rng = np.random.default_rng(7)
    dirs = ["", "site a", "site-b/2026", "site-b/2026/12", ".cache"]
    for d in dirs:
        os.makedirs(root / d, exist_ok=True)
    for k in range(N_RECORDS):
        d = root / dirs[k % len(dirs)]
        noise = rng.uniform(-0.01, 0.01, event.shape)
        kind = k % 4
        if kind == 3:
            qvconv.write(d / f"bg{k:03}.bqv", back, bg.header)
        else:
            ext = ["raw", "txt", "XQV"][kind]
            qvconv.write(d / f"ev{k:03}.{ext}", np.clip(event + noise, -1, 1), ev.header)
    (root / "site a" / "damaged.xqv").write_bytes(b"\0" * 300)
    (root / "notes.doc").write_text("not a record")
    (root / "site-b" / "empty.txt").write_bytes(b"")
    # Outputs that exist already, and two records that would take one name:
    # the walk never replaces a file.
    (root / "ev000.txt").write_text("the user's own file")  # beside ev000.raw
    (root / "site a" / "ev001.raw").write_text("the user's own file")  # beside ev001.txt
    qvconv.write(root / "twice.raw", event, ev.header)
    qvconv.write(root / "twice.XQV", event, ev.header)


def program_summary(root, fmt):
    p = subprocess.run([QVCONV, "-R", root, fmt], capture_output=True, text=True)
    m = re.search(r"^(\d+) files were converted, (-?\d+) failures$", p.stdout, re.M)
    errors = [line[len("error: "):] for line in p.stderr.splitlines()]
    return int(m[1]), int(m[2]), errors


@pytest.fixture(scope="module")
def trees(tmp_path_factory):
    base = tmp_path_factory.mktemp("tree")
    make_tree(base / "original")
    return base


@pytest.fixture(scope="module")
def cluster():
    distributed = pytest.importorskip("distributed")
    # A hung cluster must not hang the suite: dump the stacks and leave.
    faulthandler.dump_traceback_later(600, exit=True)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=":0",
                                  silence_logs=50) as lc:
        with distributed.Client(lc, timeout="60s") as client:
            yield client
    faulthandler.cancel_dump_traceback_later()


@pytest.mark.parametrize("runner", ["threads", "dask"])
@pytest.mark.parametrize("fmt", ["txt", "raw"])
def test_every_output_is_the_programs_directory_mode(trees, runner, fmt, request):
    client = request.getfixturevalue("cluster") if runner == "dask" else None
    prog, mine = trees / f"prog-{runner}-{fmt}", trees / f"mine-{runner}-{fmt}"
    shutil.copytree(trees / "original", prog)
    shutil.copytree(trees / "original", mine)
    converted, failures, errors = program_summary(prog, fmt)
    result = qvconv.convert_tree(mine, fmt, recursive=True, client=client)
    assert converted > 100 and failures == 1
    assert (result.converted, result.failures) == (converted, failures)
    assert [e.replace(str(mine), str(prog)) for e in result.errors] == errors
    assert files_under(mine) == files_under(prog)


def test_a_tree_that_cannot_be_walked_is_an_error(tmp_path):
    with pytest.raises(qvconv.Error, match="^Invalid format: doc$"):
        qvconv.convert_tree(tmp_path, "doc")
    with pytest.raises(qvconv.SystemFailure) as e:
        qvconv.convert_tree(tmp_path / "missing", "raw")
    assert e.value.errno == 2
