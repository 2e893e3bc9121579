#pragma once
// Which reader decodes a JPEG (private to the picture loader and the memory estimate above it):
// libjpeg-turbo, or one of our own shrinking readers, progressive or sequential. The decoder and
// the decode estimate both ask this one predicate.

#include "platform/picture/PictureLimits.h"
#include "platform/picture/jpeg/JpegMarkers.h"

namespace quillane {

enum class JpegReader {
    Libjpeg,
    ProgressiveByEight,
    ProgressiveByFour,
    ProgressiveByTwo,
    ProgressiveFullSize,
    SequentialByEight,
    SequentialByFour,
    SequentialByTwo,
};

// Which reader decodes a file with this frame at the DCT scale for the need (ShrinkNeedFor).
// Shrunk by eight, ours while every component's DC grid still reaches the need (a coarser
// component is spread over the finest one's grid), and past that our progressive reader shrinking
// by four (ScaleOf tells the scale a reader gives); shrunk by four and two, ours for every file
// one of them reads; at full size our progressive reader for every file it reads, in bands of
// MCU rows, where libjpeg would hold every coefficient of the picture; libjpeg for every other
// file and scale.
// With the environment variable QUILLANE_PLAIN_JPEG set (to anything but 0), libjpeg for every
// file, so that anyone can compare them on a file.
JpegReader ChooseJpegReader(const JpegFrame& frame, int scaleDenominator, JpegShrinkNeed need);

// Whether the reader is our sequential one, and the scale it shrinks by (8, 4 or 2; 1 at full
// size and for libjpeg, which takes the scale as asked).
bool IsSequential(JpegReader reader);
int ScaleOf(JpegReader reader);

}  // namespace quillane
