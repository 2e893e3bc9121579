#!/usr/bin/env python3
"""Times quillane-batch against the tools people would use instead, on real photographs.

    bench/bench.py [--build DIR] [--mode contenders|filters|stretch] [--runs N] [--quick]
                   [--output FILE] [--batch PATH] [--window PATH]

Corpus: the JPEG photographs of Debian's mate-backgrounds and lomiri-wallpapers-20.04
packages plus BMP copies of five of them; second corpus: the photographs among
plasma-workspace-wallpapers, most of them baseline JPEGs. Both are fetched and prepared once in a
cache outside the repository (QUILLANE_BENCH_CACHE, default
${XDG_CACHE_HOME:-~/.cache}/quillane-bench).

Modes (DIR is a Release build folder, default build-bench; the bench asks its drivers in
DIR/bench for the program's decisions rather than keeping copies of them):
  contenders  (default) every job (176x220, 413x626, 1920x1080, quality 90, proportions
              ignored) gives each contender a fresh copy of the corpus. The contenders take
              turns within every run, and the first contender of a run moves along by one each
              run, so a slow spell of the machine does not land on one tool. Figures are
              medians over the runs; peak memory is the largest seen. A tagged set (a few of
              the photographs in Adobe RGB and ProPhoto RGB with the profile embedded) is timed
              beside the same files without it at 176x220. Each job runs again on the
              second corpus (quillane-batch, vipsthumbnail, GraphicsMagick and the floor),
              and on each corpus's baseline and progressive files apart. Writes
              bench/results.md.
  filters     scores every kernel of the stretching filter on the photographs at each job's
              size (filters.py); prints its tables.
  stretch     times the stretch a batch run does, alone, on the corpus's typical photograph
              at each job's size (Google Benchmark, quillane-stretch-bench); prints its table.

Environment: BENCH_RUNS (default 5), BENCH_QUICK=1 (one run, 176x220 only, results not
written to bench/results.md).
"""

import argparse
import os
import pathlib
import shutil
import signal
import sys
import tempfile

from contenders import contenders, eighth_floor
from corpus import (ICC_FOLDER, cache_folder, is_progressive, prepare_corpus, prepare_references,
                    prepare_second_corpus, typical_photograph)
from filters import compare_filters
from measure import run_job
from programs import Programs
from report import (REPO, SECOND_TITLE, job_table, kind_table, load_average, report,
                    tagged_table)
from shell import log, run
from tagged import run_tagged

JOBS = ((176, 220), (413, 626), (1920, 1080))
# The JPEG-only total: our command, the fastest other tool and the decoder's floor.
JPEG_ONLY_TOOLS = ("quillane-batch", "vipsthumbnail", "floor: djpeg")
# By kind of file (baseline or progressive): our command against both floors.
KIND_TOOLS = ("quillane-batch", "floor: djpeg")
# The second corpus: the JPEG-only tools and the peer closest to us on quality.
SECOND_TOOLS = JPEG_ONLY_TOOLS + ("GraphicsMagick -size",)
# Google Benchmark's shortest time per measurement in quick mode, seconds: enough to run.
QUICK_MIN_TIME = "0.05"

TOOLS = {  # command -> Debian package
    "vipsthumbnail": "libvips-tools",
    "mogrify": "imagemagick",
    "convert": "imagemagick",
    "compare": "imagemagick",
    "identify": "imagemagick",
    "gm": "graphicsmagick",
    "djpeg": "libjpeg-turbo-progs",
    "cjpeg": "libjpeg-turbo-progs",
    "jpegtran": "libjpeg-turbo-progs",
    "/usr/bin/time": "time",
    "dpkg-deb": "dpkg",
    str(ICC_FOLDER / "sRGB.icc"): "colord-data",
}


def kinds_of(corpus, jpegs):
    """The JPEG photographs by kind: our two readers take baseline and progressive files apart."""
    return {"baseline": [p for p in jpegs if not is_progressive(corpus / p.name)],
            "progressive": [p for p in jpegs if is_progressive(corpus / p.name)]}


def run_by_kind(programs, corpus, jpegs, scales, margin, references, width, height, runs,
                scratch):
    """CPU against the floors by kind of file: {kind: Job}."""
    by_kind = {}
    for kind, subset in kinds_of(corpus, jpegs).items():
        if not subset:
            continue
        kind_tools = [c for c in contenders(programs, width, height, subset, scales, margin)
                      if c.name in KIND_TOOLS] + [eighth_floor(subset)]
        by_kind[kind] = run_job(kind_tools, corpus, subset, references, width, height, runs,
                                scratch)
    return by_kind


def run_contenders(programs, cache, corpus, pictures, sizes, runs, quick, output, scratch):
    """The contenders mode: every job, the tagged set, and results.md. True when every run
    of every contender succeeded."""
    jpegs = [p for p in pictures if not p.is_bmp]
    second, seconds = prepare_second_corpus(cache)
    log(f"second corpus: {len(seconds)} photographs in {second}")
    scales = programs.decode_scales(corpus, pictures, sizes)
    second_scales = programs.decode_scales(second, seconds, sizes)
    margin = programs.margin()
    command = "make bench" + ("" if runs == 5 else f" BENCH_RUNS={runs}")
    if quick:
        command = "make bench BENCH_QUICK=1"
    load_at_start = load_average()
    jobs, jpeg_jobs, kind_jobs, second_jobs, tagged = [], [], [], [], None
    for width, height in sizes:
        references = prepare_references(cache, corpus, pictures, width, height)
        tools = contenders(programs, width, height, pictures, scales[(width, height)], margin)
        job = run_job(tools, corpus, pictures, references, width, height, runs, scratch)
        print("\n".join(job_table(job, runs)), flush=True)
        # The targets are on photographs: BMPs are slow for the other tools to read and
        # flatter the mixed total.
        jpeg_tools = [c for c in contenders(programs, width, height, jpegs,
                                            scales[(width, height)], margin)
                      if c.name in JPEG_ONLY_TOOLS]
        jpeg_job = run_job(jpeg_tools, corpus, jpegs, references, width, height, runs, scratch)
        print("\n".join(job_table(jpeg_job, runs, title=", JPEG photographs only")), flush=True)
        by_kind = run_by_kind(programs, corpus, jpegs, scales[(width, height)], margin,
                              references, width, height, runs, scratch)
        print("\n".join(kind_table(width, height, by_kind, runs)), flush=True)

        second_references = prepare_references(cache, second, seconds, width, height)
        second_tools = [c for c in contenders(programs, width, height, seconds,
                                              second_scales[(width, height)], margin)
                        if c.name in SECOND_TOOLS]
        second_job = run_job(second_tools, second, seconds, second_references, width, height,
                             runs, scratch)
        print("\n".join(job_table(second_job, runs, title=SECOND_TITLE)), flush=True)
        second_by_kind = run_by_kind(programs, second, seconds, second_scales[(width, height)],
                                     margin, second_references, width, height, runs, scratch)
        print("\n".join(kind_table(width, height, second_by_kind, runs, title=SECOND_TITLE)),
              flush=True)
        jobs.append(job)
        jpeg_jobs.append(jpeg_job)
        kind_jobs.append(by_kind)
        second_jobs.append((second_job, second_by_kind))
        if (width, height) == JOBS[0]:
            tagged = run_tagged(programs, cache, corpus, pictures, references, width, height,
                                runs, scratch)
            print("\n".join(tagged_table(*tagged, runs)), flush=True)

    output.write_text(report(jobs, jpeg_jobs, kind_jobs, second_jobs, pictures, seconds, runs,
                             programs.batch, command, quick, load_at_start, tagged,
                             scales, margin) + "\n")
    log(f"written {output}")
    all_jobs = jobs + jpeg_jobs + [j for by_kind in kind_jobs for j in by_kind.values()]
    all_jobs += [j for job, by_kind in second_jobs for j in [job, *by_kind.values()]]
    failed = [o.name for job in all_jobs for o in job.outcomes if o.failed]
    if tagged and any(o.failed for o in tagged[1].values()):
        failed.append("quillane-batch on the tagged set")
    if failed:
        log("bench: failing runs by " + ", ".join(sorted(set(failed))))
    return not failed


def run_filters(programs, cache, corpus, pictures, sizes, scratch):
    for width, height in sizes:
        print("\n".join(compare_filters(programs, cache, corpus, pictures, width, height,
                                        scratch)), flush=True)
    return True


def run_stretch(programs, corpus, pictures, sizes, quick):
    photograph = typical_photograph(pictures)
    log(f"the stretch alone from {photograph.name} ({photograph.width}x{photograph.height})")
    argv = [str(programs.driver("quillane-stretch-bench"))]
    if quick:
        argv.append(f"--benchmark_min_time={QUICK_MIN_TIME}")
    run(argv + [str(corpus / photograph.name)] + [f"{w}x{h}" for w, h in sizes])
    return True


def main():
    quick_default = os.environ.get("BENCH_QUICK", "0") not in ("", "0")
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(REPO / "build-bench"),
                        help="the Release build folder whose programs are run")
    parser.add_argument("--mode", choices=("contenders", "filters", "stretch"),
                        default="contenders", help="what to measure (see the top of bench.py)")
    parser.add_argument("--batch", help="the quillane-batch program to time (default: the build's)")
    parser.add_argument("--window", help="the window-run program to time beside it (default: "
                        "the build's; skipped when missing)")
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
    programs = Programs(args.build, args.batch, args.window)
    runs = 1 if args.quick else args.runs
    if runs < 1:
        sys.exit("bench: the number of runs must be at least 1")
    sizes = JOBS[:1] if args.quick else JOBS

    cache = cache_folder()
    corpus, pictures = prepare_corpus(cache)
    log(f"corpus: {len(pictures)} pictures in {corpus}")
    output = pathlib.Path(args.output) if args.output else (
        cache / "results-quick.md" if args.quick else REPO / "bench" / "results.md")

    # An interrupted run still removes its scratch copies.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    scratch = pathlib.Path(tempfile.mkdtemp(prefix="run-", dir=cache))
    try:
        if args.mode == "filters":
            succeeded = run_filters(programs, cache, corpus, pictures, sizes, scratch)
        elif args.mode == "stretch":
            succeeded = run_stretch(programs, corpus, pictures, sizes, args.quick)
        else:
            succeeded = run_contenders(programs, cache, corpus, pictures, sizes, runs,
                                       args.quick, output, scratch)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return 0 if succeeded else 1


if __name__ == "__main__":
    sys.exit(main())
