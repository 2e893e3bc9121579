#pragma once
// The base layer's MemoryTuning.h, at the path bench/WindowRun.cpp includes; goes once that program
// includes platform/base/MemoryTuning.h.
#include "platform/base/MemoryTuning.h"
