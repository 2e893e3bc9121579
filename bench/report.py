"""The benchmark's tables and the markdown report (bench/results.md) around them."""

import datetime
import os
import pathlib
import re

from contenders import QUALITY
from corpus import PACKAGES, SECOND_PACKAGE, TAGGED_PROFILES
from measure import PSNR_IDENTICAL
from shell import output_of

REPO = pathlib.Path(__file__).resolve().parent.parent
# Per job, on the JPEG photographs alone: quillane-batch wall at most this share of
# vipsthumbnail's, CPU at most this share of the djpeg floor's (None: no target), peak MiB below.
TARGETS = {(176, 220): (0.35, 0.7, 40), (413, 626): (0.5, None, 64), (1920, 1080): (0.65, None, 64)}
# Per job, on the baseline photographs alone: quillane-batch CPU at most this share of djpeg's
# own shrink by eight (None: no target).
BASELINE_EIGHTH_TARGETS = {(176, 220): 0.6}
SECOND_TITLE = f", second corpus ({SECOND_PACKAGE})"


def fmt(value, digits=2):
    return "—" if value is None else f"{value:.{digits}f}"


def ratio(value, base):
    if value is None or not base:
        return "—"
    return f"{value / base:.2f}"


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
        text = output_of(argv)
        return text.splitlines()[0] if text else "?"

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


def job_table(job, runs, title=""):
    """One job's table and the notes on its targets; the targets are stated for the JPEG
    photographs alone, the table with a title."""
    cores = os.cpu_count() or 1
    pictures = job.pictures
    base = job.outcome("quillane-batch")
    jpegs = sum(1 for p in pictures if not p.is_bmp)
    lines = [
        f"### {job.width} × {job.height}{title}",
        "",
        f"{len(pictures)} pictures ({jpegs} JPEG, {len(pictures) - jpegs} BMP), quality {QUALITY}, "
        f"median of {runs} run{'s' if runs != 1 else ''}; peak memory is the largest of the runs.",
        "",
        "| contender | wall s (min–max) | wall × quillane | CPU s | CPU × quillane "
        "| peak MiB | memory × quillane | mean PSNR dB (scored) |",
        "|---|---:|---:|---:|---:|---:|---:|---:|",
    ]
    for o in job.outcomes:
        wall = "—" if o.wall is None else (
            f"{o.wall:.2f} ({o.wall_range[0]:.2f}–{o.wall_range[1]:.2f})")
        if o.quality:
            q = (f"{fmt(o.quality.mean)} ({o.quality.scored}/{len(pictures)})"
                 + ("*" if o.quality.identical else ""))
        else:
            q = "—"
        name = o.name + (f" ({o.failed} runs FAILED)" if o.failed else "")
        lines.append(
            f"| {name} | {wall} | {ratio(o.wall, base.wall)} | {fmt(o.cpu)} "
            f"| {ratio(o.cpu, base.cpu)} | {fmt(o.rss_mib, 0)} "
            f"| {ratio(o.rss_mib, base.rss_mib)} | {q} |")
    lines.append("")

    floor = job.outcome("floor: djpeg")
    notes = []
    wall_target, cpu_target, memory_target = TARGETS.get((job.width, job.height), (0.5, None, 100))
    if base.cpu is not None and floor.cpu:
        line = f"- quillane-batch CPU ÷ floor CPU: **{base.cpu / floor.cpu:.2f}**"
        if cpu_target is not None and title:
            verdict = "met" if base.cpu <= cpu_target * floor.cpu else "not met"
            line += f" (target ≤ {cpu_target:.2f}: {verdict})"
        notes.append(line)
    if floor.cpu is not None and base.wall is not None:
        line = floor.cpu / cores
        verdict = "met" if base.wall <= 1.2 * line else (
            f"not met, {base.wall / (1.2 * line):.2f}× the allowance")
        notes.append(
            f"- floor ÷ {cores} cores (the decoder's single-core CPU time spread over every core): "
            f"**{line:.2f} s**; quillane-batch wall {base.wall:.2f} s is "
            f"{base.wall / line:.2f}× that line (target ≤ 1.2×: {verdict})")
    vips = job.outcome("vipsthumbnail")
    if vips.wall and base.wall is not None:
        verdict = "met" if base.wall <= wall_target * vips.wall else "not met"
        notes.append(f"- quillane-batch wall ÷ vipsthumbnail wall: "
                     f"**{base.wall / vips.wall:.2f}**"
                     + (f" (target ≤ {wall_target:.2f}: {verdict})" if title else ""))
    if base.rss_mib is not None:
        verdict = "met" if base.rss_mib < memory_target else "not met"
        notes.append(f"- quillane-batch peak memory {base.rss_mib:.0f} MiB"
                     + (f" (target < {memory_target} MiB: {verdict})" if title else ""))
    window = job.outcome("quillane window")
    if window and window.wall is not None and base.wall:
        notes.append(f"- the window's run (quillane window) ÷ quillane-batch: wall "
                     f"**{window.wall / base.wall:.2f}**, CPU "
                     f"{ratio(window.cpu, base.cpu)} (target: the same speed)")
    others = [o.quality.mean for o in job.outcomes
              if o.quality and not o.name.startswith("quillane") and o.quality.mean is not None]
    ours = base.quality.mean if base.quality else None
    if others and ours is not None:
        best = max(others)
        verdict = "met" if ours >= best else f"not met by {best - ours:.2f} dB"
        notes.append(f"- quillane-batch mean PSNR {ours:.2f} dB, best other contender "
                     f"{best:.2f} dB (target ≥ best: {verdict})")
    if any(o.quality and o.quality.identical for o in job.outcomes):
        notes.append(f"- \\* some outputs were identical to the reference; each counts as "
                     f"{PSNR_IDENTICAL:.0f} dB in the mean")
    return lines + notes + [""]


def tagged_table(count, outcomes, runs):
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
    base_cpu = outcomes["profile removed"].cpu
    for label, o in outcomes.items():
        name = label + (f" ({o.failed} runs FAILED)" if o.failed else "")
        # A mean over some of the outputs would not be comparable: every one must be scored.
        quality = o.quality.mean if o.quality and o.quality.scored == count else None
        lines.append(f"| {name} | {fmt(o.wall)} | {fmt(o.cpu)} | {ratio(o.cpu, base_cpu)} "
                     f"| {fmt(quality)} |")
    return lines + [""]


def kind_table(width, height, by_kind, runs, title=""):
    """CPU against the floors for each kind of JPEG (baseline, progressive) in one job."""
    lines = [
        f"### {width} × {height}, CPU by kind of JPEG{title}",
        "",
        f"Median of {runs} run{'s' if runs != 1 else ''}. Floors: djpeg at quillane's scale for "
        "each file, and djpeg shrinking every file by eight.",
        "",
        "| kind | pictures | quillane-batch CPU s | floor CPU s | × floor | djpeg 1/8 CPU s "
        "| × djpeg 1/8 | peak MiB |",
        "|---|---:|---:|---:|---:|---:|---:|---:|",
    ]
    notes = []
    for kind, job in by_kind.items():
        base, floor = job.outcome("quillane-batch"), job.outcome("floor: djpeg")
        eighth = job.outcome("floor: djpeg 1/8")
        lines.append(f"| {kind} | {len(job.pictures)} | {fmt(base.cpu)} | {fmt(floor.cpu)} "
                     f"| {ratio(base.cpu, floor.cpu)} | {fmt(eighth.cpu)} "
                     f"| {ratio(base.cpu, eighth.cpu)} | {fmt(base.rss_mib, 0)} |")
        target = BASELINE_EIGHTH_TARGETS.get((width, height))
        if kind == "baseline" and target and base.cpu is not None and eighth.cpu:
            verdict = "met" if base.cpu <= target * eighth.cpu else "not met"
            notes.append(f"- baseline photographs: quillane-batch CPU ÷ djpeg 1/8 CPU "
                         f"**{base.cpu / eighth.cpu:.2f}** (target ≤ {target:.2f}: {verdict})")
    return lines + [""] + notes + ([""] if notes else [])


def report(jobs, jpeg_jobs, kind_jobs, second_jobs, pictures, seconds, runs, batch, command, quick,
           load_at_start, tagged, scales, margin):
    """The whole of results.md. scales maps each job's size to {JPEG name: denominator};
    second_jobs holds each job's (Job, {kind: Job}) on the second corpus."""
    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    scale_counts = {}
    for job in jobs:
        counts = {}
        for d in scales[(job.width, job.height)].values():
            counts[d] = counts.get(d, 0) + 1
        scale_counts[(job.width, job.height)] = ", ".join(
            f"1/{d}: {n}" for d, n in sorted(counts.items(), reverse=True))
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
        f"- Second corpus: the {len(seconds)} photographs among the wallpapers of Debian's "
        f"`{SECOND_PACKAGE}` (the largest size of each, "
        f"{min(p.width * p.height for p in seconds) / 1e6:.1f} to "
        f"{max(p.width * p.height for p in seconds) / 1e6:.1f} megapixels; most are baseline "
        "JPEGs, as cameras and phones write them), for quillane-batch, "
        "vipsthumbnail, GraphicsMagick and the floor, then by kind of file.",
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
        f"`mogrify -define jpeg:size={margin}Wx{margin}H -auto-orient -resize WxH! -quality 90 "
        "-format jpg -path OUT` and the same without `-define`; "
        f"`gm mogrify -size {margin}Wx{margin}H -auto-orient -resize WxH! -quality 90 -format jpg "
        "-output-directory OUT`.",
        "- Floor: `djpeg -scale 1/N -outfile /dev/null` on every JPEG, N being the DCT scale "
        "quillane-batch decodes it at for the job (as the picture loader answers it through "
        "`quillane-decode-scale`, bench/DecodeScale.cpp), one process after another in one "
        "shell; the BMPs are only read (`cat >/dev/null`). Its peak memory is the largest of "
        "any one djpeg.",
        "- By kind of JPEG: quillane-batch and the floor again on the baseline photographs and on "
        "the progressive ones apart, beside `djpeg -scale 1/8` of each file (libjpeg-turbo at "
        "its own cheapest shrink, whatever scale quillane takes).",
        "- Quality: mean PSNR (`compare -metric PSNR`) of each contender's outputs against "
        "`convert PICTURE -auto-orient -colorspace sRGB -filter Lanczos -resize WxH! -depth 16 "
        "ref.png` of the full-resolution picture. The reference keeps 16 bits a sample: "
        "ImageMagick truncates when it writes 8, which puts an 8-bit reference half a level low "
        "on average and favours a tool that truncates (GraphicsMagick does) over one that rounds.",
        "- DCT scales of the JPEGs per job: "
        + "; ".join(f"{w}×{h}: {s}" for (w, h), s in scale_counts.items()) + ".",
        "",
        "## Results",
        "",
    ]
    for job, jpeg_job, by_kind, (second, second_by_kind) in zip(jobs, jpeg_jobs, kind_jobs,
                                                                second_jobs):
        lines += job_table(job, runs)
        lines += job_table(jpeg_job, runs, title=", JPEG photographs only")
        lines += kind_table(job.width, job.height, by_kind, runs)
        lines += job_table(second, runs, title=SECOND_TITLE)
        lines += kind_table(job.width, job.height, second_by_kind, runs, title=SECOND_TITLE)
    if tagged:
        lines += tagged_table(*tagged, runs)
    return "\n".join(lines)
