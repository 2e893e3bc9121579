"""The tagged set: what reading embedded colour profiles costs quillane-batch and whether it
brings the colours back. The same photographs are run with their wide-gamut profile and with
it taken out, and scored against the references of the sRGB originals."""

import shutil

from contenders import OUTPUT_PREFIX
from corpus import prepare_tagged
from measure import Outcome, fresh_copy, measure, quality_of
from report import fmt
from shell import log

LABELS = ("profile removed", "tagged")  # the first is the base the second is compared with


def run_tagged(programs, cache, corpus, pictures, references, width, height, runs, scratch):
    """quillane-batch at width x height on the tagged copies with and without their profiles:
    (how many photographs, {label: Outcome})."""
    folder, bare, tagged = prepare_tagged(cache, corpus, pictures)
    outcomes = {}
    for label, where in zip(LABELS, (bare, folder)):
        outcome = outcomes[label] = Outcome(label)
        for _ in range(runs):
            work = fresh_copy(where, tagged, scratch)
            outcome.samples.append(measure(
                [str(programs.batch), "--width", str(width), "--height", str(height), str(work)],
                work, scratch))
            if outcome.quality is None:
                outcome.quality = quality_of(
                    [(work / (OUTPUT_PREFIX + p.name), references[p.name]) for p in tagged])
            shutil.rmtree(work)
        log(f"  tagged set, {label}: wall {fmt(outcome.wall)} s, cpu {fmt(outcome.cpu)} s")
    return len(tagged), outcomes
