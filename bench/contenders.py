"""The commands timed in each job: quillane's two runs, the tools people would use instead, and
the bare decoder as a floor. Each resizes every picture of a folder to exactly the target size
(proportions ignored) at quality 90."""

import shlex

QUALITY = 90
OUTPUT_PREFIX = "处理后"


class Contender:
    """One tool's command for a job; `outputs` maps each picture to the file it writes."""

    def __init__(self, name, command, outputs=None):
        self.name = name
        self.command = command  # work folder -> (argv, cwd)
        self.outputs = outputs  # (work folder, picture) -> path, or None for the floor


def eighth_floor(pictures):
    """djpeg shrinking every JPEG by eight, whatever scale quillane takes: libjpeg-turbo at its
    own cheapest shrink."""
    def command(work):
        steps = [f"djpeg -scale 1/8 -outfile /dev/null {shlex.quote(p.name)}" for p in pictures]
        return ["sh", "-ec", "\n".join(steps)], work
    return Contender("floor: djpeg 1/8", command)


def contenders(programs, width, height, pictures, scales, margin):
    """The contenders for one job, quillane-batch first. scales maps each JPEG's name to the DCT
    scale denominator quillane decodes it at for this size; the other tools that can shrink on
    load are given the same margin over the target as a hint."""
    size = f"{width}x{height}"
    hint = f"{margin * width}x{margin * height}"
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
                steps.append(f"djpeg -scale 1/{scales[p.name]} -outfile /dev/null "
                             f"{shlex.quote(p.name)}")
        return ["sh", "-ec", "\n".join(steps)], work

    ours = [
        Contender("quillane-batch",
                  lambda work: ([str(programs.batch), "--width", str(width), "--height",
                                 str(height), str(work)], work),
                  quillane_output),
    ]
    if programs.window:
        # The window's own run: the real widgets and event loop, on Qt's offscreen platform.
        ours.append(Contender(
            "quillane window",
            lambda work: (["env", "QT_QPA_PLATFORM=offscreen", str(programs.window), "--width",
                           str(width), "--height", str(height), str(work)], work),
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
