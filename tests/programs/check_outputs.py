"""Checks of qvinfo's and qvplot's outputs with tools outside the project.

    check_outputs.py json|svg QVINFO QVPLOT QVCONV EXAMPLES SCRATCH

json: qvinfo --json of every example parses with Python's json module, and
each object matches the record's header field for field: the header is the
raw record itself, or the raw record qvconv makes of it, read here with the
on-disk offsets of the build (a table of its own, independent of the
program's). Run in a zone with daylight saving and in UTC.

svg: qvplot's pictures of the examples, at several sizes, parse as XML with
an <svg> root of version 1.1 and the asked size, and rsvg-convert (Debian's
librsvg2-bin) renders each to a PNG of that size. Exit status 77 (skipped)
when rsvg-convert is missing.
"""

import datetime
import json
import os
import shutil
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

# name kind count offset-x86-64 offset-32-bit; kinds: I u32, i i32, Z size,
# d double, s text, T timestamp.
FIELDS = """
magic s 8 0 0  file_type I 1 8 8  rec_origin I 1 12 12  rec_cause I 1 16 16
nsignals Z 1 24 20  signals I 4 32 24  split_count I 1 48 40  dir_count I 1 52 44
start_time T 1 56 48  nsamples I 1 72 56  peak d 12 80 64  trigger_time T 1 176 160
triggered_chans I 1 192 168  offset d 12 200 176  vsum d 1 296 272  reserved_a d 3 304 280
xqv_code I 1 328 304  nfreqs Z 1 336 308  reserved_b d 12 344 312  dom_freq d 12 440 408
kbftm d 3 536 504  model I 1 560 528  uid s 9 564 532  name s 21 573 541
comment s 33 594 562  firmware s 13 627 595  sensor_name s 33 640 608
sensor_type I 1 676 644  sensor_unit I 1 680 648  sensor_range I 1 684 652
sensor_scale I 1 688 656  time_mode I 1 692 660  region s 11 696 664  city s 15 707 675
utc_offset i 1 724 692  rate I 1 728 696  filter I 1 732 700  trig_aux_a d 3 736 704
trig_aux_b d 3 760 728  back_enabled I 1 784 752  back_mode I 1 788 756
back_period I 1 792 760  trig_enabled I 1 796 764  trig_mode I 1 800 768
trig_chans I 1 804 772  trig_logic I 1 808 776  trig_threshold d 3 816 784
pre_event I 1 840 808  post_event I 1 844 812  alarm1_enabled I 1 848 816
alarm1_mode I 1 852 820  alarm1_threshold d 3 856 824  alarm2_enabled I 1 880 848
alarm2_mode I 1 884 852  alarm2_threshold d 3 888 856  voltage d 1 912 880
""".split()
SUMMARY = {"path", "format", "type", "start", "zone", "duration", "frames", "channels", "unit",
           "channel_names", "peaks", "vsum_peak", "recorder", "trigger"}
EXAMPLES = ["event.txt", "event.xqv", "background.bqv", "event.raw", "background.raw"]


def bits_of(program):
    with open(program, "rb") as f:
        return 32 if f.read(5)[4] == 1 else 64


def read_header(raw, bits):
    """The header's fields by name, read with the build's offsets."""
    with open(raw, "rb") as f:
        data = f.read(920 if bits == 64 else 888)
    size_fmt, sec_fmt = ("Q", "q") if bits == 64 else ("I", "i")
    h = {}
    for i in range(0, len(FIELDS), 5):
        name, kind, count, off = FIELDS[i], FIELDS[i + 1], int(FIELDS[i + 2]), int(
            FIELDS[i + 3 if bits == 64 else i + 4])
        if kind == "s":
            h[name] = data[off:off + count].split(b"\0")[0]
        elif kind == "T":
            h[name] = struct.unpack_from("<" + sec_fmt + "i", data, off)
        else:
            v = struct.unpack_from("<%d%s" % (count, size_fmt if kind == "Z" else kind), data, off)
            h[name] = v[0] if count == 1 else list(v)
    return h


def iso_matches(text, ts):
    if text is None:
        return False
    t = datetime.datetime.fromisoformat(text.replace("Z", "+00:00"))
    epoch = datetime.datetime(1970, 1, 1, tzinfo=datetime.timezone.utc)
    return (t - epoch) // datetime.timedelta(seconds=1) == ts[0] and t.microsecond == ts[1] // 1000


def same_number(j, v):
    if isinstance(v, float) and v != v or v in (float("inf"), float("-inf")):
        return j is None
    return j == v and type(j) is type(v)


def check_json(qvinfo, qvconv, examples, scratch, bits, problems):
    names = [e for e in EXAMPLES if bits == 64 or not e.endswith(".raw")]
    for tz in ("Europe/Amsterdam", "UTC"):
        env = dict(os.environ, TZ=tz)
        out = subprocess.run([qvinfo, "--json"] + [os.path.join(examples, n) for n in names],
                             env=env, check=True, capture_output=True, text=True).stdout
        objects = [json.loads(line) for line in out.splitlines()]
        if len(objects) != len(names):
            problems.append(f"{len(objects)} objects for {len(names)} records")
            continue
        for name, o in zip(names, objects):
            raw = os.path.join(examples, name)
            if not name.endswith(".raw"):
                raw = os.path.join(scratch, name + ".raw")
                subprocess.run([qvconv, os.path.join(examples, name), raw], env=env, check=True,
                               capture_output=True)
            h = read_header(raw, bits)
            where = f"{name} (TZ={tz})"
            if set(o) != SUMMARY | set(h):
                problems.append(f"{where}: keys {sorted(set(o) ^ (SUMMARY | set(h)))}")
                continue
            if not name.endswith(".raw"):
                h["magic"] = b""  # the raw library writes it; the other formats leave it empty
            for key, v in h.items():
                if isinstance(v, bytes):
                    ok = o[key] == v.decode("latin-1")
                elif isinstance(v, tuple):
                    ok = iso_matches(o[key], v)
                elif isinstance(v, list):
                    ok = len(o[key]) == len(v) and all(map(same_number, o[key], v))
                else:
                    ok = same_number(o[key], v)
                if not ok:
                    problems.append(f"{where}: {key} is {o[key]!r}, the header holds {v!r}")
            scale = float(h["sensor_scale"])
            summary = [(o["frames"], h["nsamples"]), (o["recorder"], h["name"].decode("latin-1")),
                       (o["start"], o["start_time"]), (o["vsum_peak"], h["vsum"] * scale),
                       (o["peaks"], [p * scale for p in h["peak"][:o["channels"]]])]
            for got, want in summary:
                if got != want:
                    problems.append(f"{where}: summary {got!r}, the header gives {want!r}")


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    return struct.unpack(">II", head[16:24]) if head[:8] == b"\x89PNG\r\n\x1a\n" else None


def check_svg(qvplot, examples, scratch, problems):
    rsvg = shutil.which("rsvg-convert")
    sizes = [None, (320, 240), (2000, 1500)]
    for n, size in enumerate(sizes):
        out = os.path.join(scratch, f"size{n}")
        os.makedirs(out, exist_ok=True)
        args = [] if size is None else ["--width", str(size[0]), "--height", str(size[1])]
        subprocess.run([qvplot, "-o", out] + args +
                       [os.path.join(examples, e) for e in EXAMPLES[:3]],
                       env=dict(os.environ, TZ="UTC"), check=True, capture_output=True)
        w, h = size or (1200, 800)
        for e in EXAMPLES[:3]:
            svg = os.path.join(out, e + ".svg")
            try:
                root = ET.parse(svg).getroot()
            except ET.ParseError as err:
                problems.append(f"{svg}: not well-formed XML: {err}")
                continue
            if (root.tag, root.get("version"), root.get("width"), root.get("height")) != (
                    "{http://www.w3.org/2000/svg}svg", "1.1", str(w), str(h)):
                problems.append(f"{svg}: root {root.tag} {root.attrib}")
            if rsvg:
                png = svg[:-4] + ".png"
                r = subprocess.run([rsvg, svg, "-o", png], capture_output=True, text=True)
                if r.returncode != 0 or png_size(png) != (w, h):
                    problems.append(f"{svg}: rsvg-convert gave {r.returncode} {r.stderr.strip()} "
                                    f"{png_size(png) if r.returncode == 0 else ''}")
    return rsvg is not None


def main():
    what, qvinfo, qvplot, qvconv, examples, scratch = sys.argv[1:7]
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    problems = []
    rendered = True
    if what == "json":
        check_json(qvinfo, qvconv, examples, scratch, bits_of(qvinfo), problems)
    else:
        rendered = check_svg(qvplot, examples, scratch, problems)
    for p in problems:
        print("FAILED:", p)
    if problems:
        return 1
    if not rendered:
        print("SKIPPED: rsvg-convert (Debian's librsvg2-bin) is missing; the pictures were "
              "parsed as XML but not rendered")
        return 77
    shutil.rmtree(scratch, ignore_errors=True)
    print("checked:", what)
    return 0


if __name__ == "__main__":
    sys.exit(main())
