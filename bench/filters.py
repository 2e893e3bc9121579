"""`bench.py --mode filters`: how close each kernel of the stretching filter comes to the
full-resolution Lanczos references on the JPEG photographs, the measure behind the program's
choice of kernel. quillane-stretch-filters (bench/StretchFilters.cpp) decodes each photograph
as the program does for the size (its DCT scale, upright, in sRGB) and at full size, and
stretches both with every kernel; each result is scored as stretched and after cjpeg at quality
90 with 4:2:0 and 4:4:4 sampling. Nothing is timed here and results.md is left alone."""

import collections
import concurrent.futures
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile

from contenders import QUALITY
from corpus import prepare_references
from measure import PSNR_IDENTICAL, psnr
from shell import log, run

# cjpeg's default is 4:2:0; `-sample 1x1` keeps every chroma sample.
SAMPLINGS = (("4:2:0", []), ("4:4:4", ["-sample", "1x1"]))


def score_stretch(ppm, reference):
    """PSNR of the stretched picture, then of it written by cjpeg in each sampling."""
    scores = [psnr(ppm, reference)]
    for name, options in SAMPLINGS:
        jpeg = ppm.with_suffix(f".{name.replace(':', '')}.jpg")
        run(["cjpeg", "-quality", str(QUALITY), *options, "-outfile", str(jpeg), str(ppm)])
        scores.append(psnr(jpeg, reference))
    return scores


def compare_filters(programs, cache, corpus, pictures, width, height, scratch):
    """The markdown table for one size: a row per decoding and kernel, mean PSNR per column."""
    driver = programs.driver("quillane-stretch-filters")
    jpegs = [p for p in pictures if not p.is_bmp]
    references = prepare_references(cache, corpus, jpegs, width, height)
    log(f"stretching {len(jpegs)} photographs to {width}x{height} with every kernel")
    with tempfile.TemporaryDirectory(prefix="filters-", dir=scratch) as out:
        done = subprocess.run([str(driver), str(width), str(height), out]
                              + [str(corpus / p.name) for p in jpegs],
                              stdout=subprocess.PIPE, text=True)
        if done.returncode != 0:
            sys.exit("bench: quillane-stretch-filters failed (see above)")
        rows = [line.split("\t") for line in done.stdout.splitlines()]
        with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 1) as pool:
            scores = pool.map(lambda r: score_stretch(pathlib.Path(r[3]),
                                                      references[pathlib.Path(r[0]).name]), rows)
            by_row = collections.defaultdict(list)
            for (_, decoding, kernel, _), values in zip(rows, scores):
                by_row[(decoding, kernel)].append(values)

    columns = ["stretched"] + [f"q{QUALITY} {name}" for name, _ in SAMPLINGS]
    lines = [
        f"### Stretching filter kernels, {width} × {height}",
        "",
        f"{len(jpegs)} JPEG photographs; mean PSNR dB against `convert PICTURE -auto-orient "
        f"-colorspace sRGB -filter Lanczos -resize {width}x{height}! ref.png`. \"scaled\" is "
        "decoded as the program decodes it for this size, \"full\" at full size; lanczos3 "
        "scaled is what a batch run paints.",
        "",
        "| decoding | kernel | " + " | ".join(columns) + " | pictures |",
        "|---|---|" + "---:|" * len(columns) + "---:|",
    ]
    for (decoding, kernel), values in by_row.items():
        means = []
        for column in zip(*values):
            scored = [v for v in column if v is not None]
            means.append(f"{statistics.fmean(scored):.2f}" if scored else "—")
        lines.append(f"| {decoding} | {kernel} | " + " | ".join(means) + f" | {len(values)} |")
    if any(v == PSNR_IDENTICAL for values in by_row.values() for row in values for v in row):
        lines.append("")
        lines.append(f"Identical pictures count as {PSNR_IDENTICAL:.0f} dB in the mean.")
    return lines + [""]
