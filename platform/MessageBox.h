#pragma once
// The base layer's MessageBox.h, at the path bench/WindowRun.cpp includes; goes once that program
// includes platform/base/MessageBox.h.
#include "platform/base/MessageBox.h"
