"""Vibration records in numpy: read, write and convert raw, text, xqv and bqv
records through the same format layer as the qvconv program.

    >>> import qvconv
    >>> data, info = qvconv.read("event.xqv")      # (frames, channels) float64
    >>> info.channel_names, info.rate, info.start
    >>> for block in qvconv.blocks("long.raw", 65536):
    ...     pass                                     # constant memory
    >>> qvconv.write("copy.raw", data, info.header)
    >>> qvconv.convert("event.xqv", "event.txt")
    >>> df = qvconv.to_dataframe("event.xqv")        # needs pandas
    >>> qvconv.convert_tree("archive", "txt", recursive=True)

Samples are fractions of the sensor's full scale, as the program moves them
(a raw record stores them as they are); scaled=True gives the sensor's units
as the text format writes them. Every failure raises Error with the text the
program prints after "error: "; a system failure raises SystemFailure, which
is an OSError too and carries its errno.
"""

import concurrent.futures
import dataclasses
import datetime
import os
import typing

__all__ = [
    "Error", "SystemFailure", "Info", "TreeResult", "info", "read", "blocks", "write",
    "convert", "to_dataframe", "convert_tree", "HEADER_FIELDS",
]


class Error(Exception):
    """A failure of qvconv; the message is the text the program prints after
    "error: "."""


class SystemFailure(Error, OSError):
    """A failure the system reported (a missing file, a full disk): an Error
    whose message is the program's text, and an OSError with that errno."""

    def __init__(self, message, errno):
        OSError.__init__(self, errno, os.strerror(errno))
        self.message = message
        self.args = (message,)

    def __str__(self):
        return self.message

    def __reduce__(self):  # crosses process boundaries (Dask) intact
        return (type(self), (self.message, self.errno))


from . import _core  # noqa: E402  (the core raises the classes above)

#: The canonical header's member names, in order (padding members included).
HEADER_FIELDS = tuple(_core.header_fields())


@dataclasses.dataclass(frozen=True)
class Info:
    """What a record holds, from its header (no sample is read).

    path, format      the file and its format word: "raw", "txt", "xqv", "bqv"
    variant           for xqv/bqv files the variant the record has ("xqv" for an
                      event, "bqv" for a background record), else None
    type              "event", "background" or "unknown"
    frames, channels  the header's frame count, and values per frame
    rate              samples per second
    interval          seconds from one frame to the next (1 / rate for an event,
                      the background period for a background record; 0 if none)
    duration          frames * interval, in seconds
    start             the first frame's moment: an aware datetime in the
                      record's zone, microseconds kept (the stored seconds as
                      an int when outside datetime's years)
    start_ns          nanoseconds within the second, as stored
    trigger           the trigger's moment for a triggered record, else None
    zone              "UTC", "local" (this machine's zone) or "Region/City"
    recorder          the recorder's name
    unit, scale       the sensor's unit word ("mm/s", "mg", "mV") and full scale
    channel_names     the text format's column names ("Raw X", "VM VSum", ...)
    factors           per channel, the factor from a stored fraction to units
                      (the scale, or 1 for ratios and frequencies)
    peaks, offsets    per channel, in the sensor's units
    vsum              the vector-sum peak, in the sensor's units
    header            every member of the canonical header by name (see
                      HEADER_FIELDS): numbers, lists of numbers, str texts,
                      bytes for padding, times as `start` with "<name>_ns"
                      (and "<name>_pad" for a time's padding); what write()
                      takes
    """

    path: str
    format: str
    variant: typing.Optional[str]
    type: str
    frames: int
    channels: int
    rate: int
    interval: float
    duration: float
    start: typing.Union[datetime.datetime, int]
    start_ns: int
    trigger: typing.Union[datetime.datetime, int, None]
    zone: str
    recorder: str
    unit: str
    scale: int
    channel_names: typing.List[str]
    factors: typing.List[float]
    peaks: typing.List[float]
    offsets: typing.List[float]
    vsum: float
    header: dict = dataclasses.field(repr=False)


def _info(reader):
    return Info(**reader.facts())


def info(path):
    """The facts of a record from its header alone (no sample is read).

    `path` names a record of any of the four formats, taken from the
    extension; see Info for what the facts are. Raises Error when the
    record cannot be opened or its header read.
    """
    r = _core.Reader(path)
    try:
        return _info(r)
    finally:
        r.close()


def read(path, start=0, stop=None, scaled=False):
    """Reads a record: (data, Info).

    data holds the frames start <= i < stop of the record at `path` (any of
    the four formats, taken from the extension) as a C-contiguous float64
    array of shape (frames, channels): the fractions of full scale the format
    layer moves, bit for bit the doubles `qvconv` writes to a raw record of
    the same input. With scaled=True each column is multiplied by its factor
    (Info.factors): the sensor's units of the text format. `stop` None reads
    to the end; both count from the first frame. Formats that can seek (raw,
    xqv, bqv) seek to `start`; text is read forward. Every frame the file
    holds is read, even when the header's frame count says fewer. Raises
    Error with the program's text on a malformed or unreadable file.
    """
    r = _core.Reader(path, start, stop, scaled)
    try:
        return r.read(-1), _info(r)
    finally:
        r.close()


def blocks(path, blocksize=65536, start=0, stop=None, scaled=False):
    """Reads a record a block at a time: an iterator of arrays.

    The frames of read() as consecutive arrays of `blocksize` frames (the
    last may be shorter), read as they are asked for: memory stays that of one
    block whatever the record's length. The file is open until the iterator
    is exhausted or closed.
    """
    if blocksize < 1:
        raise ValueError("blocksize must be at least 1")
    r = _core.Reader(path, start, stop, scaled)
    try:
        while True:
            block = r.read(blocksize)
            if len(block) == 0:
                return
            yield block
    finally:
        r.close()


def write(path, data, header):
    """Writes a record through the format layer.

    The format is the one the extension of `path` names ("raw", "txt",
    "xqv", "bqv", any case); `data` has the shape (frames, channels) in
    fractions of full scale, `header` is a dict as Info.header gives it
    (missing members are 0; the frame count is taken from `data`). The
    record is written under a temporary name beside `path` and renamed when
    complete: a failed write leaves nothing. After `data, i = read(p1)`,
    `write(p2, data, i.header)` makes a raw record byte-identical to a raw p1
    without a spectrum block. Raises Error with the program's text when the
    format cannot hold the record or a write fails, ValueError when a header
    value or the data's shape does not fit.
    """
    _core.write(path, data, header)


def convert(src, dst, header_only=False, repair=False):
    """Converts one record as `qvconv [-H] [-r] src dst` does.

    The program's single-file conversion (`qvconv [-H] [-r] src dst`):
    formats from the extensions, the result under a temporary name renamed
    only when complete, `dst` replaced, `src` untouched. header_only converts
    the header alone (-H); repair recomputes the frame count, peaks, offsets
    and vector-sum peak from the samples (-r). An empty `src` writes nothing.
    Raises Error (SystemFailure for a system failure) with the text of the
    program's first "error: " line whenever it prints one.
    """
    _core.convert(src, dst, header_only, repair)


def to_dataframe(path, scaled=True):
    """Reads a record into a pandas DataFrame.

    The record's frames with the channel names as columns, indexed by the
    frames' moments (a DatetimeIndex in the record's zone: the start time
    plus i times the frame interval, to the nanosecond). Values in the
    sensor's units unless scaled=False. Needs pandas.
    """
    import numpy
    import pandas

    data, i = read(path, scaled=scaled)
    if not isinstance(i.start, datetime.datetime):
        raise Error(f"{i.path}: the start time is outside the dates a DatetimeIndex holds")
    start = pandas.Timestamp(i.start.replace(microsecond=0)) + pandas.Timedelta(
        i.start_ns if 0 <= i.start_ns < 10**9 else i.start.microsecond * 1000, unit="ns")
    steps = numpy.rint(numpy.arange(len(data)) * (i.interval * 1e9)).astype("int64")
    index = pandas.DatetimeIndex(start + pandas.to_timedelta(steps, unit="ns"), name="time")
    return pandas.DataFrame(data, index=index, columns=i.channel_names, copy=False)


class TreeResult(typing.NamedTuple):
    """What convert_tree did, as the program's summary counts it."""

    converted: int  # files whose conversion was attempted ("N files were converted")
    failures: int   # of which failed ("M failures")
    errors: list    # the program's error lines (without "error: "), walk included


def _convert_batch(pairs):
    """One task of convert_tree: (converted, succeeded, error lines)."""
    return _core.convert_batch(pairs)


def _batches(pairs, n):
    """`pairs` cut into at most n runs of consecutive pairs, in order."""
    size = max(1, -(-len(pairs) // n))
    return [pairs[k:k + size] for k in range(0, len(pairs), size)]


def convert_tree(root, fmt, recursive=False, client=None):
    """Converts a directory tree as `qvconv [-R] root fmt` does: a TreeResult.

    Every file of `root` (and with recursive=True of its subdirectories,
    those whose names start with a dot excepted) whose format is of another
    kind than `fmt` ("raw", "txt", "xqv", "bqv") is converted to the same
    name with the target's extension, beside it: selected and named by the
    program's own walk, converted by its own single-file conversion. A file
    whose output name an earlier file of the walk takes is left to that
    file, as the program leaves a file whose output exists.

    The conversions run as tasks on `client`, a dask.distributed Client (any
    cluster whose workers see the same files and can import qvconv), or on a
    thread pool of this process when client is None. Returns
    TreeResult(converted, failures, errors): the two numbers of the
    program's summary line "N files were converted, M failures", and the
    error lines (the walk's, then the conversions' in walk order). Raises
    Error when `root` cannot be read or `fmt` is not a format.
    """
    pairs, errors = _core.select(root, fmt, recursive)
    claimed, todo = set(), []
    for src, dst in pairs:
        if dst not in claimed:
            claimed.add(dst)
            todo.append((src, dst))
    if client is not None:
        workers = max(1, sum(client.nthreads().values()))
        # A few tasks per worker thread: even loads without a task per file.
        futures = client.map(_convert_batch, _batches(todo, 4 * workers), pure=False)
        results = client.gather(futures)
    else:
        workers = os.cpu_count() or 1
        with concurrent.futures.ThreadPoolExecutor(workers) as pool:
            results = list(pool.map(_convert_batch, _batches(todo, 4 * workers)))
    converted = sum(r[0] for r in results)
    succeeded = sum(r[1] for r in results)
    for r in results:
        errors.extend(r[2])
    return TreeResult(converted, converted - succeeded, errors)
