"""Reading, writing and converting records from Python give exactly what the
program gives: the same doubles, the same bytes, the same error texts."""

import datetime
import errno
import os
import pickle
import re
import signal
import subprocess
import sys
import threading
import time

import numpy as np
import pytest

import qvconv
from conftest import RECORDS, example, files_under, program_frames, run_qvconv

FORMATS = ["raw", "txt", "XQV", "bqv"]


def same_error(a, b):
    """Error texts equal but for the random part of temporary names."""
    tmp = re.compile(r"(\.(?:raw|txt|xqv|bqv))\.[A-Za-z0-9]{6}\b", re.I)
    return tmp.sub(r"\1.TMP", a) == tmp.sub(r"\1.TMP", b)


@pytest.mark.parametrize("name", RECORDS)
def test_read_gives_the_doubles_the_program_writes_to_raw(name, work):
    data, info = qvconv.read(work / name)
    assert data.dtype == np.float64 and data.flags.c_contiguous
    assert data.tobytes() == program_frames(work / name, work).tobytes()
    assert data.shape == (info.frames, info.channels) == (info.frames, len(info.channel_names))
    assert qvconv.info(work / name).header == info.header
    scaled, _ = qvconv.read(work / name, scaled=True)
    assert scaled.tobytes() == (data * np.array(info.factors)).tobytes()


@pytest.mark.parametrize("name", RECORDS)
def test_slices_and_blocks_cut_the_frames_of_the_whole(name, work):
    whole, _ = qvconv.read(work / name)
    n = len(whole)
    for start, stop in [(1, 7), (n - 3, None), (5, 5), (9, 3), (n + 10, None), (0, n + 10)]:
        part, _ = qvconv.read(work / name, start, stop)
        assert part.shape[1:] == whole.shape[1:]
        assert part.tobytes() == whole[start:stop].tobytes(), (start, stop)
    for size in (1, 7, n, n + 1):
        got = list(qvconv.blocks(work / name, size, start=2, stop=n - 1))
        assert [len(b) for b in got[:-1]] == [size] * (len(got) - 1)
        assert np.concatenate(got).tobytes() == whole[2 : n - 1].tobytes()


def test_a_short_frame_count_in_the_header_hides_no_frame(work):
    data, info = qvconv.read(work / "event.raw")
    whole = np.tile(data, (20, 1))  # well beyond a block past the count
    qvconv.write(work / "long.raw", whole, info.header)
    raw = bytearray((work / "long.raw").read_bytes())
    nsamples_at = 72  # the 64-bit header's frame count
    raw[nsamples_at : nsamples_at + 4] = (100).to_bytes(4, "little")
    (work / "short.raw").write_bytes(raw)
    for start in (0, 50, 100, 3000, len(whole)):
        part, _ = qvconv.read(work / "short.raw", start)
        assert part.tobytes() == whole[start:].tobytes(), start


@pytest.mark.parametrize("name", ["event.raw", "background.raw"])
def test_writing_what_was_read_rebuilds_a_raw_record_byte_for_byte(name, work):
    data, info = qvconv.read(work / name)
    qvconv.write(work / "copy.raw", data, info.header)
    assert (work / "copy.raw").read_bytes() == (work / name).read_bytes()


@pytest.mark.parametrize("src", ["event.raw", "background.raw"])
@pytest.mark.parametrize("ext", FORMATS)
def test_write_makes_what_the_program_makes_or_fails_as_it_does(src, ext, work):
    (work / "prog").mkdir()
    (work / "mine").mkdir()
    rc, errors = run_qvconv(work / src, work / "prog" / f"out.{ext}")
    data, info = qvconv.read(work / src)
    if rc == 0:
        qvconv.write(work / "mine" / f"out.{ext}", data, info.header)
    else:
        with pytest.raises(qvconv.Error) as e:
            qvconv.write(work / "mine" / f"out.{ext}", data, info.header)
        assert same_error(str(e.value).replace("/mine/", "/prog/"), errors[0])
    assert files_under(work / "mine") == files_under(work / "prog")


@pytest.mark.parametrize("src", RECORDS)
@pytest.mark.parametrize("ext", FORMATS)
@pytest.mark.parametrize("opts", [(), ("-H",), ("-r",)], ids=["", "H", "r"])
def test_convert_is_the_programs_single_file_conversion(src, ext, opts, work):
    (work / "prog").mkdir()
    (work / "mine").mkdir()
    rc, errors = run_qvconv(*opts, work / src, work / "prog" / f"out.{ext}")
    try:
        qvconv.convert(work / src, work / "mine" / f"out.{ext}", "-H" in opts, "-r" in opts)
        assert rc == 0, errors
    except qvconv.Error as e:
        assert rc == 1 and same_error(str(e).replace("/mine/", "/prog/"), errors[0])
    assert files_under(work / "mine") == files_under(work / "prog")


def damaged(work):
    """Malformed, truncated and foreign files, by name."""
    raw, txt = (work / "event.raw").read_bytes(), (work / "event.txt").read_bytes()
    xqv, bqv = (work / "event.xqv").read_bytes(), (work / "background.bqv").read_bytes()
    body = txt.index(b"\n0.000976")
    return {
        "header-cut.raw": raw[:500],
        "frame-cut.raw": raw[:-12],
        "no-header.txt": b"0 1 2 3\r\n0.1 1 2 3\r\n",
        "short-line.txt": txt[:body] + b"\n0.000976 1 2\r\n" + txt[body + 1 :],
        "foreign.xqv": b"\x89PNG\r\n\x1a\n" + bytes(400),
        "header-cut.xqv": xqv[:200],
        "block-cut.bqv": bqv[:300],
        "empty.raw": b"",
    }


def test_damaged_files_fail_with_the_programs_text_or_read_as_it_reads(work):
    for name, content in damaged(work).items():
        (work / name).write_bytes(content)
        rc, errors = run_qvconv(work / name, work / f"{name}.out.raw")
        if rc == 0 and os.path.exists(work / f"{name}.out.raw"):
            data, _ = qvconv.read(work / name)
            assert data.tobytes() == program_frames(work / name, work).tobytes(), name
            continue
        if rc == 0:  # an empty file: nothing to convert, nothing to read
            errors = [f"Failed to open {work / name}: [][QVRAW] libqvraw: Failed to read header"]
        calls = [qvconv.read, lambda p: list(qvconv.blocks(p, 16))]
        if not errors[0].startswith("Failed to read data"):
            calls.append(qvconv.info)  # which reads no sample
        for call in calls:
            with pytest.raises(qvconv.Error) as e:
                call(work / name)
            assert str(e.value) == errors[0], name
        if rc != 0:
            with pytest.raises(qvconv.Error) as e:
                qvconv.convert(work / name, work / f"{name}.mine.raw")
            assert same_error(str(e.value), errors[0].replace(".out.raw", ".mine.raw")), name
    assert not [p for p in os.listdir(work) if ".mine.raw" in p]


@pytest.mark.parametrize("name", RECORDS)
def test_corrupted_records_read_or_fail_cleanly(name, work):
    good = (work / name).read_bytes()
    rng = np.random.default_rng(len(name))
    for k in range(60):
        bad = bytearray(good)
        for at in rng.integers(0, len(bad), 1 + k % 8):
            bad[at] = rng.integers(0, 256)
        bad = bad[: rng.integers(1, len(bad) + 1)] if k % 3 == 0 else bad
        path = work / f"bad{k}{os.path.splitext(name)[1]}"
        path.write_bytes(bytes(bad))
        try:
            data, info = qvconv.read(path, start=k % 5)
            assert data.shape[1] == info.channels
        except qvconv.Error:
            pass
        try:
            qvconv.convert(path, work / "out.raw", repair=True)
        except qvconv.Error:
            pass


def test_system_failures_are_oserrors_with_their_errno(work):
    os.mkdir(work / "dir.txt")
    data, info = qvconv.read(work / "event.raw")
    cases = [
        (lambda: qvconv.read(work / "missing.raw"), errno.ENOENT,
         f"{work}/missing.raw is neither a file or a directory"),
        (lambda: qvconv.write(work / "no" / "x.raw", data, info.header), errno.ENOENT,
         f"Failed to create tmp file from {work}/no/x.raw: No such file or directory"),
        (lambda: qvconv.convert(work / "dir.txt", work / "x.raw"), errno.EISDIR,
         f"Failed to read header from {work}/dir.txt: [QVFMT][QVASCII] libqvascii: On read(): Is a directory"),
    ]
    for call, code, text in cases:
        with pytest.raises(qvconv.SystemFailure) as e:
            call()
        assert isinstance(e.value, OSError) and isinstance(e.value, qvconv.Error)
        assert (e.value.errno, str(e.value)) == (code, text)
        again = pickle.loads(pickle.dumps(e.value))
        assert (type(again), again.errno, str(again)) == (qvconv.SystemFailure, code, text)
    assert sorted(os.listdir(work)) == sorted(RECORDS + ["dir.txt"])


def test_an_interrupted_write_leaves_nothing(work):
    data, info = qvconv.read(work / "event.raw")
    # Half a million frames of text: long enough to stop.
    long = np.tile(data, (500000 // len(data) + 1, 1))
    timer = threading.Timer(0.01, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    try:
        qvconv.write(work / "long.txt", long, info.header)
        try:
            time.sleep(5)  # the machine was faster than the signal: let it land
        except KeyboardInterrupt:
            pass
        assert qvconv.read(work / "long.txt")[0].shape == long.shape
    except KeyboardInterrupt:
        assert sorted(os.listdir(work)) == sorted(RECORDS)
    timer.join()


def test_header_dict_values_that_do_not_fit_are_refused_before_writing(work):
    data, info = qvconv.read(work / "event.raw")
    for change in [{"no_such_field": 1}, {"rate": -1}, {"rate": 2**32}, {"rate": 1.5},
                   {"peak": [0.0] * 3}, {"name": "x" * 22}, {"vsum": "1"}, {"pad1": b"\0"},
                   {"start_time": datetime.datetime(2026, 1, 1)}]:
        with pytest.raises(ValueError):
            qvconv.write(work / "x.raw", data, {**info.header, **change})
    with pytest.raises(ValueError):
        qvconv.write(work / "x.raw", data[:, :2], info.header)
    assert sorted(os.listdir(work)) == sorted(RECORDS)


def test_times_are_aware_datetimes_with_their_nanoseconds(work):
    data, info = qvconv.read(work / "event.raw")
    zone = datetime.timezone(datetime.timedelta(hours=2))
    moment = datetime.datetime(2026, 3, 29, 1, 59, 58, 123456, tzinfo=zone)
    header = {**info.header, "start_time": moment, "start_time_ns": 123456789}
    qvconv.write(work / "t.raw", data, header)
    got = qvconv.info(work / "t.raw")
    assert got.start == moment and got.start.utcoffset() == datetime.timedelta(0)  # kept in UTC
    assert got.start_ns == 123456789
    # A datetime changed without its nanoseconds takes its own microseconds.
    qvconv.write(work / "u.raw", data, {**header, "start_time": moment.replace(microsecond=7)})
    assert qvconv.info(work / "u.raw").start_ns == 7000
    # A moment beyond datetime's years is kept as seconds.
    qvconv.write(work / "v.raw", data, {**header, "start_time": 10**12})
    assert qvconv.info(work / "v.raw").header["start_time"] == 10**12


@pytest.fixture(params=["UTC", "Europe/Berlin"])
def zone(request):
    """The machine's zone, for this process and the program it starts."""
    before = os.environ.get("TZ")
    os.environ["TZ"] = request.param
    time.tzset()
    yield request.param
    if before is None:
        del os.environ["TZ"]
    else:
        os.environ["TZ"] = before
    time.tzset()


def test_local_times_are_shown_in_the_machines_zone_with_its_daylight_saving(zone, work):
    hours = {"UTC": (0, 0), "Europe/Berlin": (1, 2)}[zone]  # winter, summer
    # The recorder-binary record keeps the recorder's local clock.
    info = qvconv.info(work / "event.xqv")
    assert (info.zone, info.start.utcoffset()) == ("local", datetime.timedelta(hours=hours[0]))
    assert info.start.strftime("%Y-%m-%d %H:%M:%S") == "2025-12-01 10:00:00"
    rc, _ = run_qvconv(work / "event.xqv", work / "from-xqv.raw")
    assert rc == 0 and qvconv.info(work / "from-xqv.raw").header["start_time"] == info.start
    # A raw record of local time in summer.
    data, raw = qvconv.read(work / "event.raw")
    summer = datetime.datetime(2026, 7, 1, 12, tzinfo=datetime.timezone.utc)
    qvconv.write(work / "summer.raw", data, {**raw.header, "time_mode": 2, "start_time": summer})
    pytest.importorskip("pandas")
    df = qvconv.to_dataframe(work / "summer.raw")
    assert df.index[0] == summer and df.index[0].utcoffset() == datetime.timedelta(hours=hours[1])


def test_a_dataframe_holds_the_record_in_units_by_time_and_writes_back(work):
    pd = pytest.importorskip("pandas")

    df = qvconv.to_dataframe(work / "event.xqv")
    data, info = qvconv.read(work / "event.xqv", scaled=True)
    assert list(df.columns) == info.channel_names
    assert df.to_numpy().tobytes() == data.tobytes()
    assert df.index[0] == pd.Timestamp(info.start) and df.index.tz is not None
    assert df.index[128] - df.index[0] == pd.Timedelta(128 / info.rate, "s")
    qvconv.write(work / "back.raw", df.to_numpy() / info.factors, info.header)
    np.testing.assert_allclose(qvconv.read(work / "back.raw", scaled=True)[0], data, rtol=1e-15)
    # pandas and dask are imported only when asked for.
    probe = "import sys, qvconv; print(sorted({'pandas', 'dask'} & set(sys.modules)))"
    out = subprocess.run([sys.executable, "-c", probe], capture_output=True, text=True, check=True)
    assert out.stdout.strip() == "[]"


def test_the_example_event_is_triggered_where_and_as_its_header_says():
    data, info = qvconv.read(example("event.raw"), scaled=True)
    h = info.header
    assert len(data) == (h["pre_event"] + h["post_event"]) * h["rate"]
    trigger = round((h["trigger_time"] - h["start_time"]).total_seconds() * h["rate"])
    assert trigger == h["pre_event"] * h["rate"]
    # Thresholds are in sensor units; the trigger is on any axis (OR).
    above = np.abs(data) >= np.array(h["trig_threshold"])
    assert (h["trig_chans"], h["trig_logic"]) == (7, 1) and not above[:trigger].any()
    assert sum(1 << c for c in range(3) if above[trigger, c]) == h["triggered_chans"]
    # The background hour holds the event in its first minute, and only
    # ambient vibration below the trigger level in the others.
    back, _ = qvconv.read(example("background.raw"), scaled=True)
    assert back[0, :3].tolist() == np.abs(data).max(axis=0).tolist()
    assert (back[1:, :3] < np.array(h["trig_threshold"])).all()
