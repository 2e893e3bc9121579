"""Running other programs from the benchmark, and its progress messages."""

import subprocess
import sys


def log(message):
    print(message, file=sys.stderr, flush=True)


def run(argv, **kwargs):
    return subprocess.run(argv, check=True, **kwargs)


def output_of(argv):
    """What a command printed, standard output and error together, stripped."""
    done = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    return done.stdout.strip()
