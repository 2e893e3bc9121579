#!/usr/bin/env python3
"""Times quillane-batch against the tools people would use instead, on real photographs.

    bench/bench.py [--batch PATH] [--runs N] [--quick] [--output FILE]

Corpus: the JPEG photographs of Debian's mate-backgrounds and lomiri-wallpapers-20.04
packages plus BMP copies of five of them, fetched and prepared once in a cache outside the
repository (QUILLANE_BENCH_CACHE, default ${XDG_CACHE_HOME:-~/.cache}/quillane-bench).

Every job (176x220, 413x626, 1920x1080, quality 90, proportions ignored) gives each contender
a fresh copy of the corpus. The contenders take turns within every run, and the first
contender of a run moves along by one each run, so a slow spell of the machine does not
land on one tool. Figures are medians over the runs; peak memory is the largest seen.

Tagged set: a few of the photographs converted into Adobe RGB (1998) and ProPhoto RGB with the
profile embedded (Debian's colord-data profiles, made once in the cache), timed beside the same
photographs untagged at 176x220, and scored against the sRGB originals: the cost of the colour
conversion and whether it brings the colours back.

Environment: BENCH_RUNS (default 5), BENCH_QUICK=1 (one run, 176x220 only, results not
written to bench/results.md).
"""

import argparse
import concurrent.futures
import datetime
import json
import os
import pathlib
import re
import shlex
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

PACKAGES = ("mate-backgrounds", "lomiri-wallpapers-20.04")
JOBS = ((176, 220), (413, 626), (1920, 1080))
# Per job, on the JPEG photographs alone: quillane-batch wall at most this share of
# vipsthumbnail's, CPU at most this share of the djpeg floor's (None: no target), peak MiB below.
TARGETS = {(176, 220): (0.4, 0.7, 48), (413, 626): (0.5, None, 64), (1920, 1080): (0.8, None, 64)}
# The JPEG-only total: our command, the fastest other tool and the decoder's floor.
JPEG_ONLY_TOOLS = ("quillane-batch", "vipsthumbnail", "floor: djpeg")
QUALITY = 90
BMP_COPIES = 5
# quillane decodes a JPEG at the smallest DCT scale that still leaves twice the target size.
MARGIN = 2
DENOMINATORS = (8, 4, 2)
OUTPUT_PREFIX = "处理后"
# compare reports identical pictures as "inf"; an average needs a finite stand-in.
PSNR_IDENTICAL = 99.0
CORPUS_VERSION = 1
TAGGED_COPIES = 6
ICC_FOLDER = pathlib.Path("/usr/share/color/icc/colord")
TAGGED_PROFILES = ("AdobeRGB1998.icc", "ProPhotoRGB.icc")

TOOLS = {  # command -> Debian package
    "vipsthumbnail": "libvips-tools",
    "mogrify": "imagemagick",
    "convert": "imagemagick",
    "compare": "imagemagick",
    "identify": "imagemagick",
    "gm": "graphicsmagick",
    "djpeg": "libjpeg-turbo-progs",
    "jpegtran": "libjpeg-turbo-progs",
    "/usr/bin/time": "time",
    "dpkg-deb": "dpkg",
    str(ICC_FOLDER / "sRGB.icc"): "colord-data",
}

REPO = pathlib.Path(__file__).resolve().parent.parent


def log(message):
    print(message, file=sys.stderr, flush=True)


def run(argv, **kwargs):
    return subprocess.run(argv, check=True, **kwargs)


def output_of(argv):
    done = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    return done.stdout.strip()


# ---------------------------------------------------------------------------------------------
# Corpus


class Picture:
    def __init__(self, name, width, height, orientation):
        self.name = name
        self.width = width
        self.height = height
        self.orientation = orientation  # EXIF value, 1 when absent

    @property
    def is_bmp(self):
        return self.name.lower().endswith(".bmp")

    @property
    def stem(self):
        return os.path.splitext(self.name)[0]

    def scale_denominator(self, width, height):
        """The DCT scale quillane decodes this picture at for a width x height target."""
        if self.is_bmp:
            return 1
        swap = self.orientation >= 5  # the target is upright, the scale applies to the frame
        need_w = MARGIN * (height if swap else width)
        need_h = MARGIN * (width if swap else height)
        for d in DENOMINATORS:
            if -(-self.width // d) >= need_w and -(-self.height // d) >= need_h:
                return d
        return 1


ORIENTATIONS = {
    "TopLeft": 1, "TopRight": 2, "BottomRight": 3, "BottomLeft": 4,
    "LeftTop": 5, "RightTop": 6, "RightBottom": 7, "LeftBottom": 8,
}


def identify(path):
    text = output_of(["identify", "-format", "%w %h %[orientation]\n", str(path)])
    width, height, orientation = text.splitlines()[0].split()
    return int(width), int(height), ORIENTATIONS.get(orientation, 1)


def fetch_packages(cache):
    extracted = []
    for package in PACKAGES:
        debs = sorted(cache.glob(f"{package}_*.deb"))
        if not debs:
            log(f"fetching {package}")
            run(["apt-get", "download", package], cwd=cache)
            debs = sorted(cache.glob(f"{package}_*.deb"))
        target = cache / "x" / package
        if not target.is_dir():
            partial = cache / "x" / f".{package}.partial"
            shutil.rmtree(partial, ignore_errors=True)
            partial.mkdir(parents=True)
            run(["dpkg-deb", "-x", str(debs[-1]), str(partial)])
            partial.rename(target)
        extracted.append(target)
    return extracted


def prepare_corpus(cache):
    """The pictures every job copies, made once; a half-made corpus is never left behind."""
    corpus = cache / f"corpus-v{CORPUS_VERSION}"
    meta_file = corpus / "pictures.json"
    if meta_file.is_file():
        return corpus, [Picture(**m) for m in json.loads(meta_file.read_text())]

    sources = {}
    for root in fetch_packages(cache):
        for path in sorted(root.rglob("*")):
            if path.is_file() and path.suffix.lower() in (".jpg", ".jpeg"):
                if path.name in sources:
                    sys.exit(f"bench: two photographs named {path.name}")
                sources[path.name] = path
    if not sources:
        sys.exit("bench: the wallpaper packages hold no JPEG photographs")

    partial = cache / f".corpus-v{CORPUS_VERSION}.partial"
    shutil.rmtree(partial, ignore_errors=True)
    partial.mkdir(parents=True)
    pictures = []
    for name, path in sorted(sources.items()):
        shutil.copyfile(path, partial / name)
        pictures.append(Picture(name, *identify(partial / name)))

    # BMP copies of five photographs spread over the range of sizes, upright so that every
    # tool sees the same picture whether it reads EXIF or not.
    for source in spread_by_size(pictures, BMP_COPIES):
        # A distinct stem: a.bmp and a.jpg would both be written as 处理后a.jpg.
        name = f"{source.stem}-bmp.bmp"
        run(["convert", str(partial / source.name), "-auto-orient", "-type", "TrueColor",
             str(partial / name)])
        pictures.append(Picture(name, *identify(partial / name)))

    (partial / "pictures.json").write_text(json.dumps([vars(p) for p in pictures], indent=1))
    shutil.rmtree(corpus, ignore_errors=True)
    partial.rename(corpus)
    return corpus, pictures


def spread_by_size(pictures, count):
    """count pictures spread over the range of sizes, smallest first."""
    by_size = sorted(pictures, key=lambda p: (p.width * p.height, p.name))
    count = min(count, len(by_size))
    picks = sorted({round(i * (len(by_size) - 1) / max(count - 1, 1)) for i in range(count)})
    return [by_size[i] for i in picks]


def prepare_tagged(cache, corpus, pictures):
    """Copies of upright JPEG photographs converted into a wide-gamut colour space with the
    profile embedded, and the same files with the profile taken out losslessly (jpegtran), each
    named after its source."""
    folder = cache / f"tagged-v{CORPUS_VERSION}"
    bare = cache / f"tagged-v{CORPUS_VERSION}-bare"
    bare.mkdir(parents=True, exist_ok=True)
    sources = spread_by_size([p for p in pictures if not p.is_bmp and p.orientation == 1],
                             TAGGED_COPIES)
    tagged = []
    folder.mkdir(parents=True, exist_ok=True)
    for i, source in enumerate(sources):
        target = folder / source.name
        if not target.is_file():
            partial = folder / f".{source.name}.partial.jpg"
            run(["convert", str(corpus / source.name), "-profile", str(ICC_FOLDER / "sRGB.icc"),
                 "-profile", str(ICC_FOLDER / TAGGED_PROFILES[i % len(TAGGED_PROFILES)]),
                 "-quality", "95", str(partial)])
            partial.rename(target)
        if not (bare / source.name).is_file():
            partial = bare / f".{source.name}.partial.jpg"
            run(["jpegtran", "-copy", "none", "-outfile", str(partial), str(target)])
            partial.rename(bare / source.name)
        tagged.append(Picture(source.name, source.width, source.height, 1))
    return folder, bare, tagged


def run_tagged(batch, corpus, cache, pictures, references, runs, scratch):
    """quillane-batch at 176x220 on the tagged copies with and without their profiles."""
    folder, bare, tagged = prepare_tagged(cache, corpus, pictures)
    width, height = JOBS[0]
    figures = {}
    for label, where in (("profile removed", bare), ("tagged", folder)):
        samples, quality = [], None
        for _ in range(runs):
            work = fresh_copy(where, tagged, scratch)
            samples.append(measure([str(batch), "--width", str(width), "--height", str(height),
                                    str(work)], work, scratch))
            if quality is None:
                scores = [psnr(work / (OUTPUT_PREFIX + p.name), references[p.name])
                          for p in tagged]
                quality = statistics.fmean(v for v in scores if v is not None) if all(
                    v is not None for v in scores) else None
            shutil.rmtree(work)
        ok = [x for x in samples if x.status == 0]
        figures[label] = (statistics.median(x.wall for x in ok) if ok else None,
                          statistics.median(x.cpu for x in ok) if ok else None,
                          len(samples) - len(ok), quality)
        log(f"  tagged set, {label}: wall {fmt(figures[label][0])} s, cpu {fmt(figures[label][1])} s")
    return len(tagged), figures


def tagged_table(count, figures, runs):
    lines = [
        "### Tagged set, 176 × 220",
        "",
        f"{count} photographs, alternately converted into "
        + " and ".join(p.removesuffix(".icc") for p in TAGGED_PROFILES)
        + " with the profile embedded (quality 95), and the same files with the profile taken "
        "out by `jpegtran -copy none` (the pixels read as if they were sRGB); median of "
        f"{runs} run{'s' if runs != 1 else ''}; PSNR against the sRGB originals' references.",
        "",
        "| quillane-batch on | wall s | CPU s | CPU × profile removed | mean PSNR dB |",
        "|---|---:|---:|---:|---:|",
    ]
    base_cpu = figures["profile removed"][1]
    for label, (wall, cpu, failed, quality) in figures.items():
        name = label + (f" ({failed} runs FAILED)" if failed else "")
        lines.append(f"| {name} | {fmt(wall)} | {fmt(cpu)} | {ratio(cpu, base_cpu)} "
                     f"| {fmt(quality)} |")
    return lines + [""]


def prepare_references(cache, corpus, pictures, width, height):
    """ImageMagick's Lanczos resize of each full-resolution, upright picture in sRGB."""
    folder = cache / "references" / f"{width}x{height}"
    folder.mkdir(parents=True, exist_ok=True)

    def make(picture):
        ref = folder / f"{picture.name}.png"
        if not ref.is_file():
            partial = folder / f".{picture.name}.partial.png"
            run(["convert", str(corpus / picture.name), "-auto-orient", "-colorspace", "sRGB",
                 "-filter", "Lanczos", "-resize", f"{width}x{height}!", str(partial)])
            partial.rename(ref)
        return picture.name, ref

    missing = [p for p in pictures if not (folder / f"{p.name}.png").is_file()]
    if missing:
        log(f"making {len(missing)} reference pictures at {width}x{height}")
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 1) as pool:
        return dict(pool.map(make, pictures))


# ---------------------------------------------------------------------------------------------
# Contenders


class Contender:
    """One tool's command for a job; `outputs` maps each picture to the file it writes."""

    def __init__(self, name, command, outputs=None):
        self.name = name
        self.command = command  # work folder -> (argv, cwd)
        self.outputs = outputs  # (work folder, picture) -> path, or None for the floor


def contenders(batch, window, width, height, pictures):
    size = f"{width}x{height}"
    hint = f"{MARGIN * width}x{MARGIN * height}"
    names = [p.name for p in pictures]

    def beside(work, picture):
        return work / f"{OUTPUT_PREFIX}{picture.stem}.jpg"

    def quillane_output(work, picture):
        return work / (OUTPUT_PREFIX + (f"{picture.stem}.jpg" if picture.is_bmp else picture.name))

    def in_out(work, picture):
        return work / "out" / f"{picture.stem}.jpg"

    def magick(define):
        def command(work):
            (work / "out").mkdir()
            argv = ["mogrify"] + define + ["-auto-orient", "-resize", f"{size}!", "-quality",
                                           str(QUALITY), "-format", "jpg", "-path", "out"]
            return argv + names, work
        return command

    def gm(work):
        (work / "out").mkdir()
        argv = ["gm", "mogrify", "-size", hint, "-auto-orient", "-resize", f"{size}!",
                "-quality", str(QUALITY), "-format", "jpg", "-output-directory", "out"]
        return argv + names, work

    def floor(work):
        # Decoding at quillane's DCT scale and nothing else; a BMP is only read.
        steps = []
        for p in pictures:
            if p.is_bmp:
                steps.append(f"cat {shlex.quote(p.name)} >/dev/null")
            else:
                d = p.scale_denominator(width, height)
                steps.append(f"djpeg -scale 1/{d} -outfile /dev/null {shlex.quote(p.name)}")
        return ["sh", "-ec", "\n".join(steps)], work

    ours = [
        Contender("quillane-batch",
                  lambda work: ([str(batch), "--width", str(width), "--height", str(height),
                                 str(work)], work),
                  quillane_output),
    ]
    if window:
        # The window's own run: the real widgets and event loop, on Qt's offscreen platform.
        ours.append(Contender(
            "quillane window",
            lambda work: (["env", "QT_QPA_PLATFORM=offscreen", str(window), "--width", str(width),
                           "--height", str(height), str(work)], work),
            quillane_output))
    return ours + [
        Contender("vipsthumbnail",
                  lambda work: (["vipsthumbnail", "--size", f"{size}!", "-o",
                                 f"{OUTPUT_PREFIX}%s.jpg[Q={QUALITY}]"] + names, work),
                  beside),
        Contender("ImageMagick jpeg:size", magick(["-define", f"jpeg:size={hint}"]), in_out),
        Contender("ImageMagick", magick([]), in_out),
        Contender("GraphicsMagick -size", gm, in_out),
        Contender("floor: djpeg", floor),
    ]


# ---------------------------------------------------------------------------------------------
# Measuring


class Sample:
    def __init__(self, wall, cpu, rss_kib, status, detail):
        self.wall = wall
        self.cpu = cpu
        self.rss_kib = rss_kib
        self.status = status
        self.detail = detail


def measure(argv, cwd, scratch):
    """Wall time by this process's clock; CPU and peak memory from /usr/bin/time -v, which
    reports the largest resident size of the command or of any process it waited for."""
    stats = scratch / "time.txt"
    start = time.perf_counter()
    done = subprocess.run(["/usr/bin/time", "-v", "-o", str(stats)] + argv, cwd=cwd,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                          errors="replace")
    wall = time.perf_counter() - start
    fields = {}
    for line in stats.read_text().splitlines():
        key, _, value = line.strip().rpartition(": ")
        fields[key] = value
    try:
        cpu = float(fields["User time (seconds)"]) + float(fields["System time (seconds)"])
        rss = int(fields["Maximum resident set size (kbytes)"])
    except (KeyError, ValueError):
        return Sample(wall, float("nan"), 0, -1, stats.read_text()[-500:])
    detail = (done.stdout + done.stderr)[-800:] if done.returncode else ""
    return Sample(wall, cpu, rss, done.returncode, detail)


def psnr(output, reference):
    if not output.is_file():
        return None
    text = output_of(["compare", "-metric", "PSNR", str(output), str(reference), "null:"])
    word = text.split()[0] if text else ""
    if word == "inf":
        return PSNR_IDENTICAL
    try:
        return float(word)
    except ValueError:
        return None  # a wrong size or a file compare cannot read


def fresh_copy(corpus, pictures, parent):
    work = pathlib.Path(tempfile.mkdtemp(prefix="job-", dir=parent))
    for p in pictures:
        shutil.copyfile(corpus / p.name, work / p.name)
    return work


def run_job(batch, window, corpus, pictures, references, width, height, runs, scratch,
            names=None):
    tools = [c for c in contenders(batch, window, width, height, pictures)
             if names is None or c.name in names]
    samples = {c.name: [] for c in tools}
    quality = {}
    for r in range(runs):
        shift = r % len(tools)
        for contender in tools[shift:] + tools[:shift]:
            work = fresh_copy(corpus, pictures, scratch)
            argv, cwd = contender.command(work)
            sample = measure(argv, cwd, scratch)
            samples[contender.name].append(sample)
            log(f"  {width}x{height} run {r + 1}/{runs} {contender.name:24} wall {sample.wall:7.2f} s"
                f"  cpu {sample.cpu:7.2f} s  peak {sample.rss_kib / 1024:6.0f} MiB"
                + (f"  EXIT {sample.status}" if sample.status else ""))
            if sample.status:
                log(f"    {contender.name} failed: {sample.detail.strip()}")
            if contender.outputs and contender.name not in quality:
                quality[contender.name] = score(contender, work, pictures, references)
            shutil.rmtree(work)
    return tools, samples, quality


def score(contender, work, pictures, references):
    """Mean PSNR over the pictures and how many outputs could be scored."""
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 1) as pool:
        values = list(pool.map(lambda p: psnr(contender.outputs(work, p), references[p.name]),
                               pictures))
    scored = [v for v in values if v is not None]
    return (statistics.fmean(scored) if scored else None, len(scored),
            sum(1 for v in scored if v == PSNR_IDENTICAL))


# ---------------------------------------------------------------------------------------------
# Report


def load_average():
    return " ".join(f"{x:.2f}" for x in os.getloadavg())


def machine_description(batch, load_at_start):
    cpu = "unknown"
    for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            cpu = line.split(":", 1)[1].strip()
            break
    memory = "unknown"
    for line in pathlib.Path("/proc/meminfo").read_text().splitlines():
        if line.startswith("MemTotal:"):
            memory = f"{int(line.split()[1]) / 1024 / 1024:.1f} GiB"
    pretty = "Debian"
    os_release = pathlib.Path("/etc/os-release")
    if os_release.is_file():
        match = re.search(r'^PRETTY_NAME="?([^"\n]*)', os_release.read_text(), re.M)
        if match:
            pretty = match.group(1)
    debian = pathlib.Path("/etc/debian_version")
    if debian.is_file():
        pretty += f" ({debian.read_text().strip()})"
    commit = output_of(["git", "-C", str(REPO), "describe", "--always", "--dirty"])

    def first_line(argv):
        return output_of(argv).splitlines()[0] if output_of(argv) else "?"

    return [
        ("CPU", f"{cpu}, {os.cpu_count()} logical cores"),
        ("Memory", memory),
        ("System", f"{pretty}, Linux {os.uname().release}"),
        ("Load average (1, 5, 15 min)", f"{load_at_start} at the start, {load_average()} at the end"),
        ("quillane-batch", f"{batch} (Release build of {commit})"),
        ("libvips", first_line(["vips", "--version"])),
        ("ImageMagick", first_line(["convert", "-version"]).removeprefix("Version: ")),
        ("GraphicsMagick", first_line(["gm", "-version"])),
        ("libjpeg-turbo", first_line(["djpeg", "-version"])),
    ]


def fmt(value, digits=2):
    return "—" if value is None else f"{value:.{digits}f}"


def ratio(value, base):
    if value is None or not base:
        return "—"
    return f"{value / base:.2f}"


def job_table(width, height, pictures, runs, tools, samples, quality, title=""):
    cores = os.cpu_count() or 1
    figures = {}
    for c in tools:
        ok = [s for s in samples[c.name] if s.status == 0]
        failed = len(samples[c.name]) - len(ok)
        figures[c.name] = {
            "wall": statistics.median(s.wall for s in ok) if ok else None,
            "wall_range": (min(s.wall for s in ok), max(s.wall for s in ok)) if ok else None,
            "cpu": statistics.median(s.cpu for s in ok) if ok else None,
            "rss": max(s.rss_kib for s in ok) / 1024 if ok else None,
            "failed": failed,
        }
    base = figures["quillane-batch"]
    jpegs = sum(1 for p in pictures if not p.is_bmp)
    lines = [
        f"### {width} × {height}{title}",
        "",
        f"{len(pictures)} pictures ({jpegs} JPEG, {len(pictures) - jpegs} BMP), quality {QUALITY}, "
        f"median of {runs} run{'s' if runs != 1 else ''}; peak memory is the largest of the runs.",
        "",
        "| contender | wall s (min–max) | wall × quillane | CPU s | CPU × quillane "
        "| peak MiB | memory × quillane | mean PSNR dB (scored) |",
        "|---|---:|---:|---:|---:|---:|---:|---:|",
    ]
    for c in tools:
        f = figures[c.name]
        wall = "—" if f["wall"] is None else (
            f"{f['wall']:.2f} ({f['wall_range'][0]:.2f}–{f['wall_range'][1]:.2f})")
        if c.name in quality:
            mean, scored, identical = quality[c.name]
            q = f"{fmt(mean)} ({scored}/{len(pictures)})" + ("*" if identical else "")
        else:
            q = "—"
        name = c.name + (f" ({f['failed']} runs FAILED)" if f["failed"] else "")
        lines.append(
            f"| {name} | {wall} | {ratio(f['wall'], base['wall'])} | {fmt(f['cpu'])} "
            f"| {ratio(f['cpu'], base['cpu'])} | {fmt(f['rss'], 0)} "
            f"| {ratio(f['rss'], base['rss'])} | {q} |")
    lines.append("")

    floor = figures["floor: djpeg"]
    notes = []
    wall_target, cpu_target, memory_target = TARGETS.get((width, height), (0.5, None, 100))
    if base["cpu"] is not None and floor["cpu"]:
        line = f"- quillane-batch CPU ÷ floor CPU: **{base['cpu'] / floor['cpu']:.2f}**"
        if cpu_target is not None and title:
            verdict = "met" if base["cpu"] <= cpu_target * floor["cpu"] else "not met"
            line += f" (target ≤ {cpu_target:.2f}: {verdict})"
        notes.append(line)
    if floor["cpu"] is not None and base["wall"] is not None:
        line = floor["cpu"] / cores
        verdict = "met" if base["wall"] <= 1.2 * line else (
            f"not met, {base['wall'] / (1.2 * line):.2f}× the allowance")
        notes.append(
            f"- floor ÷ {cores} cores (the decoder's single-core CPU time spread over every core): "
            f"**{line:.2f} s**; quillane-batch wall {base['wall']:.2f} s is "
            f"{base['wall'] / line:.2f}× that line (target ≤ 1.2×: {verdict})")
    vips = figures["vipsthumbnail"]
    # The targets are stated for the JPEG photographs alone (the table with a title).
    if vips["wall"] and base["wall"] is not None:
        verdict = "met" if base["wall"] <= wall_target * vips["wall"] else "not met"
        notes.append(f"- quillane-batch wall ÷ vipsthumbnail wall: "
                     f"**{base['wall'] / vips['wall']:.2f}**"
                     + (f" (target ≤ {wall_target:.2f}: {verdict})" if title else ""))
    if base["rss"] is not None:
        verdict = "met" if base["rss"] < memory_target else "not met"
        notes.append(f"- quillane-batch peak memory {base['rss']:.0f} MiB"
                     + (f" (target < {memory_target} MiB: {verdict})" if title else ""))
    window = figures.get("quillane window")
    if window and window["wall"] is not None and base["wall"]:
        notes.append(f"- the window's run (quillane window) ÷ quillane-batch: wall "
                     f"**{window['wall'] / base['wall']:.2f}**, CPU "
                     f"{ratio(window['cpu'], base['cpu'])} (target: the same speed)")
    others = [quality[c.name][0] for c in tools
              if c.name in quality and not c.name.startswith("quillane")
              and quality[c.name][0] is not None]
    ours = quality.get("quillane-batch", (None,))[0]
    if others and ours is not None:
        best = max(others)
        verdict = "met" if ours >= best else f"not met by {best - ours:.2f} dB"
        notes.append(f"- quillane-batch mean PSNR {ours:.2f} dB, best other contender "
                     f"{best:.2f} dB (target ≥ best: {verdict})")
    if any(quality[c][2] for c in quality):
        notes.append(f"- \\* some outputs were identical to the reference; each counts as "
                     f"{PSNR_IDENTICAL:.0f} dB in the mean")
    return lines + notes + [""]


def report(jobs, pictures, runs, batch, command, quick, load_at_start, tagged):
    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    scales = {}
    for width, height, *_ in jobs:
        counts = {}
        for p in pictures:
            if not p.is_bmp:
                d = p.scale_denominator(width, height)
                counts[d] = counts.get(d, 0) + 1
        scales[(width, height)] = ", ".join(f"1/{d}: {n}" for d, n in sorted(counts.items(),
                                                                              reverse=True))
    lines = [
        "# Quillane benchmark" + (" (quick mode: one run, 176 × 220 only)" if quick else ""),
        "",
        f"Generated by `{command}` on {now}. Every figure is a snapshot of this machine at that "
        "moment; rerun the command to refresh it.",
        "",
        "## Machine",
        "",
    ]
    lines += [f"- {k}: {v}" for k, v in machine_description(batch, load_at_start)]
    megapixels = sorted(p.width * p.height / 1e6 for p in pictures if not p.is_bmp)
    lines += [
        "",
        "## Method",
        "",
        f"- Corpus: the {len(megapixels)} JPEG photographs of Debian's "
        + " and ".join(f"`{p}`" for p in PACKAGES)
        + f" ({megapixels[0]:.1f} to {megapixels[-1]:.1f} megapixels), plus BMP copies of "
        + ", ".join(p.name for p in pictures if p.is_bmp) + " made by ImageMagick. Each job runs "
        "again on the JPEG photographs alone (quillane-batch, vipsthumbnail and the floor): the "
        "targets are on photographs, and the BMPs, slow for the other tools, flatter the mixed total.",
        "- Each job resizes every picture to exactly the target size (proportions ignored), "
        f"JPEG quality {QUALITY}. Every contender works on a fresh copy of the corpus; within a "
        "run the contenders take turns, and each run starts with the next one.",
        "- Wall time by the script's clock around the command; CPU time (user + system) and "
        "peak resident memory from `/usr/bin/time -v`. Other work on the machine stretches "
        "wall times more than CPU times; the load averages above say how busy it was.",
        "- Contenders: `quillane-batch --width W --height H DIR`; the window's own run, "
        "`quillane-window-run` (bench/WindowRun.cpp: the real window on Qt's offscreen "
        "platform, the folder opened, the sizes typed and the start button pressed, message "
        "boxes printed instead of shown); "
        "`vipsthumbnail --size WxH! -o '处理后%s.jpg[Q=90]'`; "
        "`mogrify -define jpeg:size=2Wx2H -auto-orient -resize WxH! -quality 90 -format jpg -path OUT` "
        "and the same without `-define`; "
        "`gm mogrify -size 2Wx2H -auto-orient -resize WxH! -quality 90 -format jpg -output-directory OUT`.",
        "- Floor: `djpeg -scale 1/N -outfile /dev/null` on every JPEG, N being the DCT scale "
        "quillane-batch decodes at (the smallest of 1/8, 1/4, 1/2 that keeps at least twice the "
        "target in both directions, else 1/1), one process after another in one shell; the BMPs "
        "are only read (`cat >/dev/null`). Its peak memory is the largest of any one djpeg.",
        "- Quality: mean PSNR (`compare -metric PSNR`) of each contender's outputs against "
        "`convert PICTURE -auto-orient -colorspace sRGB -filter Lanczos -resize WxH! ref.png` "
        "of the full-resolution picture.",
        "- DCT scales of the JPEGs per job: "
        + "; ".join(f"{w}×{h}: {s}" for (w, h), s in scales.items()) + ".",
        "",
        "## Results",
        "",
    ]
    jpegs = [p for p in pictures if not p.is_bmp]
    for width, height, tools, samples, quality, jpeg_only in jobs:
        lines += job_table(width, height, pictures, runs, tools, samples, quality)
        lines += job_table(width, height, jpegs, runs, *jpeg_only, title=", JPEG photographs only")
    if tagged:
        lines += tagged_table(*tagged, runs)
    return "\n".join(lines)


# ---------------------------------------------------------------------------------------------


def main():
    quick_default = os.environ.get("BENCH_QUICK", "0") not in ("", "0")
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--batch", default=str(REPO / "build-bench" / "quillane-batch"),
                        help="the quillane-batch program to time")
    parser.add_argument("--window", default=str(REPO / "build-bench" / "bench" / "quillane-window-run"),
                        help="the window-run program to time beside it (skipped when missing)")
    parser.add_argument("--runs", type=int, default=int(os.environ.get("BENCH_RUNS", "5")))
    parser.add_argument("--quick", action="store_true", default=quick_default,
                        help="one run of the 176x220 job, for development")
    parser.add_argument("--output", help="markdown file to write (default bench/results.md; "
                        "in quick mode the cache folder's results-quick.md)")
    args = parser.parse_args()

    missing = sorted({pkg for tool, pkg in TOOLS.items()
                      if not (shutil.which(tool) or tool.endswith(".icc") and os.path.isfile(tool))})
    if missing:
        sys.exit("bench: missing tools; install them with: apt-get install " + " ".join(missing))
    batch = pathlib.Path(args.batch).resolve()
    if not os.access(batch, os.X_OK):
        sys.exit(f"bench: {batch} is not a program; build quillane-batch first (make bench does)")
    window = pathlib.Path(args.window).resolve()
    if not os.access(window, os.X_OK):
        log(f"bench: {window} is not a program; the window's run is not timed")
        window = None
    runs = 1 if args.quick else args.runs
    if runs < 1:
        sys.exit("bench: the number of runs must be at least 1")
    sizes = JOBS[:1] if args.quick else JOBS

    cache_home = os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache")
    cache = pathlib.Path(os.environ.get("QUILLANE_BENCH_CACHE", os.path.join(cache_home, "quillane-bench")))
    cache.mkdir(parents=True, exist_ok=True)
    corpus, pictures = prepare_corpus(cache)
    jpegs = [p for p in pictures if not p.is_bmp]
    log(f"corpus: {len(pictures)} pictures in {corpus}")

    command = "make bench" + ("" if runs == 5 else f" BENCH_RUNS={runs}")
    if args.quick:
        command = "make bench BENCH_QUICK=1"
    output = pathlib.Path(args.output) if args.output else (
        cache / "results-quick.md" if args.quick else REPO / "bench" / "results.md")

    load_at_start = load_average()
    # An interrupted run still removes its scratch copies.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    jobs = []
    tagged = None
    scratch = pathlib.Path(tempfile.mkdtemp(prefix="run-", dir=cache))
    try:
        for width, height in sizes:
            references = prepare_references(cache, corpus, pictures, width, height)
            tools, samples, quality = run_job(batch, window, corpus, pictures, references, width,
                                              height, runs, scratch)
            print("\n".join(job_table(width, height, pictures, runs, tools, samples, quality)),
                  flush=True)
            # The targets are on photographs: BMPs are slow for the other tools to read and
            # flatter the mixed total.
            jpeg_only = run_job(batch, None, corpus, jpegs, references, width, height, runs,
                                scratch, JPEG_ONLY_TOOLS)
            print("\n".join(job_table(width, height, jpegs, runs, *jpeg_only,
                                       title=", JPEG photographs only")), flush=True)
            jobs.append((width, height, tools, samples, quality, jpeg_only))
            if (width, height) == JOBS[0]:
                tagged = run_tagged(batch, corpus, cache, pictures, references, runs, scratch)
                print("\n".join(tagged_table(*tagged, runs)), flush=True)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)

    output.write_text(report(jobs, pictures, runs, batch, command, args.quick, load_at_start,
                             tagged) + "\n")
    log(f"written {output}")
    failed = [c.name for _, _, *mixed, _, jpeg_only in jobs
              for tools, samples in (mixed, jpeg_only[:2]) for c in tools
              if any(s.status for s in samples[c.name])]
    if tagged and any(f[2] for f in tagged[1].values()):
        failed.append("quillane-batch on the tagged set")
    if failed:
        log("bench: failing runs by " + ", ".join(sorted(set(failed))))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
