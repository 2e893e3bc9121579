"""Running a contender's command, measuring it and scoring what it wrote.

Sample is one run of one command; Outcome is one contender's runs in one job, with the quality
of its outputs; Job is every contender's Outcome for one target size.
"""

import concurrent.futures
import dataclasses
import os
import pathlib
import re
import shutil
import statistics
import subprocess
import tempfile
import time

from shell import log, output_of

# compare reports identical pictures as "inf"; an average needs a finite stand-in.
PSNR_IDENTICAL = 99.0


@dataclasses.dataclass(frozen=True)
class Sample:
    wall: float  # seconds, by this process's clock
    cpu: float  # seconds, user + system
    rss_kib: int  # peak resident memory
    status: int  # the command's exit status; -1 when /usr/bin/time said nothing usable
    detail: str  # the end of what a failing command printed


@dataclasses.dataclass(frozen=True)
class Quality:
    mean: float | None  # mean PSNR in dB over the outputs that could be scored
    scored: int
    identical: int  # outputs identical to their reference, counted as PSNR_IDENTICAL


@dataclasses.dataclass
class Outcome:
    name: str
    samples: list = dataclasses.field(default_factory=list)
    quality: Quality | None = None  # None for a contender that writes nothing to score

    @property
    def ok(self):
        return [s for s in self.samples if s.status == 0]

    @property
    def failed(self):
        return len(self.samples) - len(self.ok)

    @property
    def wall(self):
        return statistics.median(s.wall for s in self.ok) if self.ok else None

    @property
    def wall_range(self):
        return (min(s.wall for s in self.ok), max(s.wall for s in self.ok)) if self.ok else None

    @property
    def cpu(self):
        return statistics.median(s.cpu for s in self.ok) if self.ok else None

    @property
    def rss_mib(self):
        return max(s.rss_kib for s in self.ok) / 1024 if self.ok else None


@dataclasses.dataclass
class Job:
    width: int
    height: int
    pictures: list
    outcomes: list  # Outcome per contender, in the contenders' order

    def outcome(self, name):
        return next((o for o in self.outcomes if o.name == name), None)


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
    """PSNR of output against reference in dB, or None when it cannot be scored."""
    if not pathlib.Path(output).is_file():
        return None
    text = output_of(["compare", "-metric", "PSNR", str(output), str(reference), "null:"])
    # The figure starts a line; a warning about metadata a tool copied from the original (an
    # XMP packet ImageMagick cannot parse) may come before it or straight after it.
    found = re.search(r"(?:^|\n)\s*(inf|\d+(?:\.\d+)?)", text)
    word = found.group(1) if found else ""
    if word == "inf":
        return PSNR_IDENTICAL
    try:
        return float(word)
    except ValueError:
        return None  # a wrong size or a file compare cannot read


def quality_of(pairs):
    """The Quality of (output, reference) pairs, scored in parallel."""
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 1) as pool:
        values = list(pool.map(lambda pair: psnr(*pair), pairs))
    scored = [v for v in values if v is not None]
    return Quality(statistics.fmean(scored) if scored else None, len(scored),
                   sum(1 for v in scored if v == PSNR_IDENTICAL))


def fresh_copy(corpus, pictures, parent):
    work = pathlib.Path(tempfile.mkdtemp(prefix="job-", dir=parent))
    for p in pictures:
        shutil.copyfile(corpus / p.name, work / p.name)
    return work


def run_job(tools, corpus, pictures, references, width, height, runs, scratch):
    """Every contender `runs` times on fresh copies of the pictures. The contenders take turns
    within every run and the first of a run moves along by one each run, so a slow spell of the
    machine does not land on one tool. The first run's outputs are scored."""
    outcomes = {c.name: Outcome(c.name) for c in tools}
    for r in range(runs):
        shift = r % len(tools)
        for contender in tools[shift:] + tools[:shift]:
            outcome = outcomes[contender.name]
            work = fresh_copy(corpus, pictures, scratch)
            argv, cwd = contender.command(work)
            sample = measure(argv, cwd, scratch)
            outcome.samples.append(sample)
            log(f"  {width}x{height} run {r + 1}/{runs} {contender.name:24} wall {sample.wall:7.2f} s"
                f"  cpu {sample.cpu:7.2f} s  peak {sample.rss_kib / 1024:6.0f} MiB"
                + (f"  EXIT {sample.status}" if sample.status else ""))
            if sample.status:
                log(f"    {contender.name} failed: {sample.detail.strip()}")
            if contender.outputs and outcome.quality is None:
                outcome.quality = quality_of(
                    [(contender.outputs(work, p), references[p.name]) for p in pictures])
            shutil.rmtree(work)
    return Job(width, height, pictures, [outcomes[c.name] for c in tools])
