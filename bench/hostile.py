"""Time and peak memory of quillane-batch on files made to cost a decoder as much as possible.

Makes the hostile set once in SCRATCH (default /tmp/quillane-hostile): progressive JPEGs of
16,000 x 16,000 pixels whose scans each sweep the whole picture (gray, colour, and a colour frame
that names its components by one id, which libjpeg would read and the loader refuses as damaged
before any reader starts), the most such
sweeps the scan budget lets through, a DC scan alone, a header with no data after it, a header of
65,535 x 65,535, and BMPs with deep or huge pixel arrays; then runs quillane-batch on each alone
in a folder at every size and prints the wall time, the peak resident memory (/usr/bin/time -v)
and the target: the pixels the picture decodes to at the scale the loader picks for that size
(asked of quillane-decode-scale), times 3, plus 64 MiB. --estimate instead decodes a real
progressive photograph-like file of that size at every DCT scale and prints the decode-ahead
estimate beside the measured peak, less the program's own (measured on a 1 x 1 picture) and the
canvas the run paints into (the paint size, 3 bytes a pixel), which no decode holds.

    python3 bench/hostile.py --build build [--scratch DIR] [--estimate]
"""

import argparse
import os
import pathlib
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time

SIZES = ("176x220", "413x626", "1920x1080", "3000x3000")
SIDE = 16000
MAX_SCANS = 500  # the scan-count guard, so that only the work budget stands in the way
SLACK_MIB = 64


def segment(marker, body):
    return struct.pack(">BBH", 0xFF, marker, len(body) + 2) + body


class Bits:
    """Entropy-coded bits, most significant first, a zero stuffed after every 0xFF."""

    def __init__(self):
        self.out, self.held, self.count = bytearray(), 0, 0

    def put(self, value, bits):
        for i in range(bits - 1, -1, -1):
            self.held = self.held << 1 | (value >> i & 1)
            self.count += 1
            if self.count == 8:
                self.out.append(self.held)
                if self.held == 0xFF:
                    self.out.append(0)
                self.held = self.count = 0

    def end(self):
        if self.count:
            self.put((1 << (8 - self.count)) - 1, 8 - self.count)
        data, self.out = bytes(self.out), bytearray()
        return data


def ceil(a, b):
    return -(-a // b)


def sweeping_jpeg(width, height, colour, sweeps, one_id=False, data=True):
    """Flat gray, progressive: a DC scan of "no change" in every block, then `sweeps` scans of one
    coefficient of a component, all of whose blocks lie in end-of-band runs, each coefficient at
    point transform 13 refined down to 0 so that the progression stays valid. With one_id the
    three components share id 1 and only the first is swept; without data the file ends after
    the first scan header."""
    comps = [(1, 2, 2), (1 if one_id else 2, 1, 1), (1 if one_id else 3, 1, 1)] if colour \
        else [(1, 1, 1)]
    most = 2 if colour else 1
    out = bytearray(b"\xFF\xD8")
    out += segment(0xDB, bytes([0] + [1] * 64))
    frame = struct.pack(">BHHB", 8, height, width, len(comps))
    for cid, h, v in comps:
        frame += bytes([cid, h << 4 | v, 0])
    out += segment(0xC2, frame)
    out += segment(0xC4, bytes([0x00, 1] + [0] * 15 + [0]))
    out += segment(0xC4, bytes([0x10, 0, 0, 0, 15] + [0] * 12 + [r << 4 for r in range(15)]))
    out += segment(0xDA, bytes([len(comps)] + [x for c in comps for x in (c[0], 0)] + [0, 0, 0]))
    if not data:
        return bytes(out)
    mcus = ceil(width, 8 * most) * ceil(height, 8 * most)
    out += bytes(ceil(mcus * sum(h * v for _, h, v in comps), 8))  # one 0 bit a block
    bits = Bits()
    swept = comps[:1] if one_id else comps
    done = 0
    for sweep in range(sweeps):
        band, al = 1 + sweep // 14, 13 - sweep % 14
        for cid, h, v in swept:
            if done == sweeps:
                break
            done += 1
            out += segment(0xDA, bytes([1, cid, 0, band, band, (0 if al == 13 else al + 1) << 4 | al]))
            blocks = ceil(ceil(width * h, most), 8) * ceil(ceil(height * v, most), 8)
            while blocks > 0:
                run = min(blocks, 32767)
                r = run.bit_length() - 1
                bits.put(r, 4)
                bits.put(run - (1 << r), r)
                blocks -= run
            out += bits.end()
    return bytes(out + b"\xFF\xD9")


def huge_header_jpeg():
    frame = struct.pack(">BHHB", 8, 65535, 65535, 1) + bytes([1, 0x11, 0])
    return b"\xFF\xD8" + segment(0xDB, bytes([0] + [1] * 64)) + segment(0xC0, frame) + b"\xFF\xD9"


def bmp(width, height, bits, compression=0, masks=b"", pixel_bytes=None):
    """A BMP with a BITMAPINFOHEADER; pixel_bytes shorter than the rows claims more than it has."""
    stride = ceil(width * bits, 32) * 4
    palette = b"".join(bytes([i, i, i, 0]) for i in range(1 << bits)) if bits <= 8 else b""
    if pixel_bytes is None:
        pixel_bytes = stride * abs(height)
    offset = 14 + 40 + len(masks) + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, 0, 2835, 2835,
                       0, 0)
    head = struct.pack("<2sIHHI", b"BM", offset + pixel_bytes, 0, 0, offset)
    return head + info + masks + palette, pixel_bytes


def write_bmp(path, width, height, bits, **kwargs):
    head, size = bmp(width, height, bits, **kwargs)
    with open(path, "wb") as f:
        f.write(head)
        pattern = bytes(range(256)) * 4096
        while size > 0:
            f.write(pattern[:size])
            size -= len(pattern)


def real_progressive(path):
    """A photograph-sized texture of SIDE x SIDE encoded by cjpeg -progressive, 4:2:0."""
    row = bytearray(SIDE * 3)
    for x in range(SIDE):
        row[3 * x:3 * x + 3] = bytes(((x * 7) % 251, (x * 13) % 241, (x // 9) % 256))
    row = bytes(row) * 2
    with open(path, "wb") as out:
        cjpeg = subprocess.Popen(["cjpeg", "-progressive", "-quality", "90"], stdin=subprocess.PIPE,
                                 stdout=out)
        cjpeg.stdin.write(b"P6 %d %d 255\n" % (SIDE, SIDE))
        for y in range(SIDE):
            shift = (y * 5 % SIDE) * 3
            cjpeg.stdin.write(row[shift:shift + SIDE * 3])
        cjpeg.stdin.close()
        if cjpeg.wait():
            sys.exit("cjpeg failed")


def make_set(scratch):
    files = {
        "sweep-gray-500scans.jpg": lambda: sweeping_jpeg(SIDE, SIDE, False, MAX_SCANS - 1),
        "sweep-colour-500scans.jpg": lambda: sweeping_jpeg(SIDE, SIDE, True, MAX_SCANS - 1),
        "sweep-one-id-500scans.jpg": lambda: sweeping_jpeg(SIDE, SIDE, True, MAX_SCANS - 1, True),
        "sweep-gray-32passes.jpg": lambda: sweeping_jpeg(SIDE, SIDE, False, 31),
        "dc-only-colour.jpg": lambda: sweeping_jpeg(SIDE, SIDE, True, 0),
        "header-only-progressive.jpg": lambda: sweeping_jpeg(SIDE, SIDE, True, 0, data=False),
        "header-65535x65535.jpg": huge_header_jpeg,
    }
    for name, make in files.items():
        if not (scratch / name).exists():
            (scratch / name).write_bytes(make())
    bmps = {
        # 256 megapixels of one bit each: 32 MB on disk, three bytes a pixel decoded.
        "bmp-1bit-16000x16000.bmp": dict(width=SIDE, height=SIDE, bits=1),
        # Colour masks of 32 bits claiming 256 megapixels, with a kilobyte of pixels.
        "bmp-bitfields-16000x16000-cut.bmp": dict(
            width=SIDE, height=SIDE, bits=32, compression=3,
            masks=struct.pack("<III", 0x3FF00000, 0x000FFC00, 0x000003FF), pixel_bytes=1024),
        # Run-length codes claiming 15 rows of 16,777,216 pixels, in a few kilobytes.
        "bmp-rle8-16777216x15-cut.bmp": dict(width=1 << 24, height=15, bits=8, compression=1,
                                             pixel_bytes=4096),
    }
    for name, args in bmps.items():
        if not (scratch / name).exists():
            write_bmp(scratch / name, **args)
    return sorted(list(files) + list(bmps))


def measure(batch, picture, size, scratch):
    """quillane-batch alone on this picture: (wall s, peak MiB, exit status, what it said)."""
    folder = pathlib.Path(tempfile.mkdtemp(dir=scratch))
    try:
        os.symlink(picture.resolve(), folder / picture.name)
        width, height = size.split("x")
        stats = folder / ".time"
        start = time.monotonic()
        done = subprocess.run(["/usr/bin/time", "-v", "-o", str(stats), str(batch), "--width",
                               width, "--height", height, str(folder)],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        wall = time.monotonic() - start
        rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)",
                            stats.read_text()).group(1))
        said = [line for line in done.stderr.splitlines() if picture.name in line]
        return wall, rss / 1024, done.returncode, (said[0] if said else "written")
    finally:
        shutil.rmtree(folder)


def decode_scales(driver, pictures, sizes):
    """{(picture name, size): (denominator, estimated bytes)} from the program's own rules."""
    argv = [str(driver), "--estimate"] + [a for s in sizes for a in ("--size", s)]
    done = subprocess.run(argv + [str(p) for p in pictures], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True)
    answers = {}
    for line in done.stdout.splitlines():
        size, denominator, estimate, path = line.split("\t")
        answers[(pathlib.Path(path).name, size)] = (int(denominator), int(estimate))
    return answers


def dimensions(picture):
    done = subprocess.run(["identify", "-ping", "-format", "%w %h\n", str(picture)],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    parts = done.stdout.split()
    return (int(parts[0]), int(parts[1])) if len(parts) >= 2 else None


def compare_estimate(batch, driver, scratch):
    real = scratch / "real-progressive-16000.jpg"
    if not real.exists():
        real_progressive(real)
    tiny = scratch / "tiny" / "one.jpg"
    tiny.parent.mkdir(exist_ok=True)
    subprocess.run(["convert", "-size", "1x1", "xc:gray", str(tiny)], check=True)
    own = measure(batch, tiny, "1x1", scratch)[1]
    sizes = ("176x220", "1920x1080", "3000x3000", "9000x9000")
    estimates = decode_scales(driver, [real], sizes)
    print(f"program's own peak {own:.0f} MiB\n")
    print("| size | scale | wall s | peak MiB less own and canvas | estimate MiB | outcome |")
    print("|---|---|---|---|---|---|")
    for size in sizes:
        wall, peak, status, said = measure(batch, real, size, scratch)
        denominator, estimate = estimates[(real.name, size)]
        width, height = map(int, size.split("x"))
        canvas = width * height * 3 / 2**20
        print(f"| {size} | 1/{denominator} | {wall:.1f} | {peak - own - canvas:.0f} | "
              f"{estimate / 2**20:.0f} | {status}: {said[-60:]} |", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("--scratch", default="/tmp/quillane-hostile")
    parser.add_argument("--estimate", action="store_true")
    args = parser.parse_args()
    build = pathlib.Path(args.build)
    batch, driver = build / "quillane-batch", build / "bench" / "quillane-decode-scale"
    scratch = pathlib.Path(args.scratch)
    scratch.mkdir(parents=True, exist_ok=True)
    if args.estimate:
        compare_estimate(batch, driver, scratch)
        return
    names = make_set(scratch)
    pictures = [scratch / n for n in names]
    scales = decode_scales(driver, pictures, SIZES)
    print("| file | size | wall s | peak MiB | target MiB | outcome |")
    print("|---|---|---|---|---|---|")
    worst = {}
    for picture in pictures:
        shape = dimensions(picture)
        for size in SIZES:
            wall, peak, status, said = measure(batch, picture, size, scratch)
            denominator = scales.get((picture.name, size), (0, 0))[0]
            pixels = ceil(shape[0], denominator) * ceil(shape[1], denominator) \
                if shape and denominator else 0
            target = pixels * 3 / 2**20 + SLACK_MIB
            print(f"| {picture.name} | {size} | {wall:.2f} | {peak:.0f} | {target:.0f} | "
                  f"{status}: {said[-90:]} |", flush=True)
            for key, value in (("time", (wall, picture.name)), ("peak", (peak, picture.name))):
                worst[(size, key)] = max(worst.get((size, key), (0, "")), value)
    print("\n| size | largest wall s (file) | largest peak MiB (file) |\n|---|---|---|")
    for size in SIZES:
        (t, tf), (p, pf) = worst[(size, "time")], worst[(size, "peak")]
        print(f"| {size} | {t:.2f} ({tf}) | {p:.0f} ({pf}) |")


if __name__ == "__main__":
    main()
