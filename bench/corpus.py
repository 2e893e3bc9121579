"""The pictures the benchmark works on, made once in a cache outside the repository.

Corpus: the JPEG photographs of Debian's wallpaper packages plus BMP copies of a few of them.
Second corpus: the photographs among KDE Plasma's wallpapers, most of them baseline JPEGs as
cameras and phones write them (the first corpus's are more often progressive).
Tagged set: a few of the photographs converted into wide-gamut colour spaces with the profile
embedded, and the same files with the profile taken out. References: ImageMagick's Lanczos resize
of each full-resolution picture, which every contender's output is scored against.
A half-made corpus, tagged copy or reference is never left behind under its final name.
"""

import concurrent.futures
import dataclasses
import json
import os
import pathlib
import shutil
import subprocess
import sys

from shell import log, run

PACKAGES = ("mate-backgrounds", "lomiri-wallpapers-20.04")
# GPL-2+ (the package's copyright file). Each wallpaper is a folder of one picture at several
# sizes; the largest of each is taken. The others of the package are drawings and renderings.
SECOND_PACKAGE = "plasma-workspace-wallpapers"
SECOND_PHOTOGRAPHS = ("BytheWater", "ColdRipple", "ColorfulCups", "DarkestHour", "EveningGlow",
                      "FallenLeaf", "Grey", "Kite", "OneStandsOut", "Path", "Volna", "summer_1am")
BMP_COPIES = 5
CORPUS_VERSION = 1
TAGGED_COPIES = 6
ICC_FOLDER = pathlib.Path("/usr/share/color/icc/colord")
TAGGED_PROFILES = ("AdobeRGB1998.icc", "ProPhotoRGB.icc")

ORIENTATIONS = {
    "TopLeft": 1, "TopRight": 2, "BottomRight": 3, "BottomLeft": 4,
    "LeftTop": 5, "RightTop": 6, "RightBottom": 7, "LeftBottom": 8,
}


@dataclasses.dataclass(frozen=True)
class Picture:
    name: str
    width: int  # as stored, before the orientation
    height: int
    orientation: int  # EXIF value, 1 when absent

    @property
    def is_bmp(self):
        return self.name.lower().endswith(".bmp")

    @property
    def stem(self):
        return os.path.splitext(self.name)[0]


def is_progressive(path):
    """Whether a JPEG's frame is progressive (SOF2, SOF6, SOF10, SOF14): the marker segments
    are walked up to the first frame header."""
    data = pathlib.Path(path).read_bytes()
    at = 2
    while at + 4 <= len(data) and data[at] == 0xFF:
        marker = data[at + 1]
        if marker == 0xFF:
            at += 1
            continue
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            return marker in (0xC2, 0xC6, 0xCA, 0xCE)
        at += 2 + (data[at + 2] << 8 | data[at + 3])
    return False


def cache_folder():
    """QUILLANE_BENCH_CACHE, default ${XDG_CACHE_HOME:-~/.cache}/quillane-bench; made if missing."""
    home = os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache")
    cache = pathlib.Path(os.environ.get("QUILLANE_BENCH_CACHE",
                                        os.path.join(home, "quillane-bench")))
    cache.mkdir(parents=True, exist_ok=True)
    return cache


def identify(path):
    # Standard output alone: ImageMagick warns on standard error about XMP packets it cannot
    # parse, which some of the wallpapers carry.
    text = subprocess.run(["identify", "-format", "%w %h %[orientation]\n", str(path)],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                          check=True).stdout
    width, height, orientation = text.splitlines()[0].split()
    return int(width), int(height), ORIENTATIONS.get(orientation, 1)


def fetch_packages(cache, packages=PACKAGES):
    extracted = []
    for package in packages:
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
    """The folder every job copies and its pictures, JPEG photographs first."""
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

    (partial / "pictures.json").write_text(
        json.dumps([dataclasses.asdict(p) for p in pictures], indent=1))
    shutil.rmtree(corpus, ignore_errors=True)
    partial.rename(corpus)
    return corpus, pictures


def prepare_second_corpus(cache):
    """The second corpus's folder and its pictures, every one a JPEG photograph."""
    corpus = cache / f"corpus2-v{CORPUS_VERSION}"
    meta_file = corpus / "pictures.json"
    if meta_file.is_file():
        return corpus, [Picture(**m) for m in json.loads(meta_file.read_text())]
    root = fetch_packages(cache, (SECOND_PACKAGE,))[0] / "usr/share/wallpapers"
    partial = cache / f".corpus2-v{CORPUS_VERSION}.partial"
    shutil.rmtree(partial, ignore_errors=True)
    partial.mkdir(parents=True)
    pictures = []
    for name in SECOND_PHOTOGRAPHS:
        sizes = [identify(path) + (path,) for path in (root / name / "contents/images").glob("*.jpg")]
        if not sizes:
            sys.exit(f"bench: {SECOND_PACKAGE} has no photograph {name}")
        width, height, orientation, path = max(sizes, key=lambda s: s[0] * s[1])
        shutil.copyfile(path, partial / f"{name}.jpg")
        pictures.append(Picture(f"{name}.jpg", width, height, orientation))
    (partial / "pictures.json").write_text(
        json.dumps([dataclasses.asdict(p) for p in pictures], indent=1))
    shutil.rmtree(corpus, ignore_errors=True)
    partial.rename(corpus)
    return corpus, pictures


def spread_by_size(pictures, count):
    """count pictures spread over the range of sizes, smallest first."""
    by_size = sorted(pictures, key=lambda p: (p.width * p.height, p.name))
    count = min(count, len(by_size))
    picks = sorted({round(i * (len(by_size) - 1) / max(count - 1, 1)) for i in range(count)})
    return [by_size[i] for i in picks]


def typical_photograph(pictures):
    """The upright JPEG photograph of the median size: the one a single-picture measure uses."""
    upright = [p for p in pictures if not p.is_bmp and p.orientation == 1]
    return sorted(upright, key=lambda p: (p.width * p.height, p.name))[len(upright) // 2]


def prepare_tagged(cache, corpus, pictures):
    """Copies of upright JPEG photographs converted into a wide-gamut colour space with the
    profile embedded, and the same files with the profile taken out losslessly (jpegtran), each
    named after its source: (tagged folder, bare folder, pictures)."""
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


def prepare_references(cache, corpus, pictures, width, height):
    """ImageMagick's Lanczos resize of each full-resolution, upright picture in sRGB, kept at 16
    bits a sample: a map from each picture's name to its reference. ImageMagick truncates when it
    writes 8 bits a sample, so an 8-bit reference lies half a level low on average and favours a
    contender that truncates too over one that rounds."""
    folder = cache / "references-16bit" / corpus.name / f"{width}x{height}"
    folder.mkdir(parents=True, exist_ok=True)

    def make(picture):
        ref = folder / f"{picture.name}.png"
        if not ref.is_file():
            partial = folder / f".{picture.name}.partial.png"
            run(["convert", str(corpus / picture.name), "-auto-orient", "-colorspace", "sRGB",
                 "-filter", "Lanczos", "-resize", f"{width}x{height}!", "-depth", "16",
                 str(partial)])
            partial.rename(ref)
        return picture.name, ref

    missing = [p for p in pictures if not (folder / f"{p.name}.png").is_file()]
    if missing:
        log(f"making {len(missing)} reference pictures at {width}x{height}")
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 1) as pool:
        return dict(pool.map(make, pictures))
