"""The programs of a Release build the benchmark runs, and what it asks them.

The bench keeps no copy of the program's decisions: the DCT scale a picture decodes at and the
shrink-on-load margin come from quillane-decode-scale (bench/DecodeScale.cpp), which answers
through the picture loader itself.
"""

import collections
import functools
import os
import pathlib
import subprocess
import sys

from shell import log


class Programs:
    """Where the built programs are. Each is looked for when a mode first needs it, so a mode
    runs with only its own programs built; a missing window run is skipped, any other stops."""

    def __init__(self, build, batch=None, window=None):
        build = pathlib.Path(build).resolve()
        drivers = build / "bench"
        self._batch = pathlib.Path(batch) if batch else build / "quillane-batch"
        self._window = pathlib.Path(window) if window else drivers / "quillane-window-run"
        self._drivers = drivers

    @functools.cached_property
    def batch(self):
        return required(self._batch)

    @functools.cached_property
    def window(self):
        return optional(self._window, "the window's run is not timed")

    def driver(self, name):
        """A program of bench/CMakeLists.txt."""
        return required(self._drivers / name)

    def margin(self):
        """How many times the paint size a JPEG still keeps after shrinking on load."""
        return int(answer([str(self.driver("quillane-decode-scale")), "--margin"]))

    def decode_scales(self, corpus, pictures, sizes):
        """{(width, height): {picture name: denominator}} for the JPEG pictures, in one run."""
        jpegs = [p for p in pictures if not p.is_bmp]
        argv = [str(self.driver("quillane-decode-scale"))]
        for width, height in sizes:
            argv += ["--size", f"{width}x{height}"]
        scales = collections.defaultdict(dict)
        for line in answer(argv + [str(corpus / p.name) for p in jpegs]).splitlines():
            size, denominator, path = line.split("\t", 2)
            width, height = (int(n) for n in size.split("x"))
            scales[(width, height)][pathlib.Path(path).name] = int(denominator)
        return dict(scales)


def required(path):
    path = path.resolve()
    if not os.access(path, os.X_OK):
        sys.exit(f"bench: {path} is not a program; build it first (make bench does)")
    return path


def optional(path, otherwise):
    path = path.resolve()
    if os.access(path, os.X_OK):
        return path
    log(f"bench: {path} is not a program; {otherwise}")
    return None


def answer(argv):
    """A driver's standard output; its refusal stops the benchmark."""
    done = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if done.returncode != 0:
        sys.exit(f"bench: {pathlib.Path(argv[0]).name} failed:\n{done.stderr.strip()}")
    return done.stdout
