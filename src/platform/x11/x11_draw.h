// The classic Windows look the X11 backend draws its frames and controls in: the system colours
// and the one-logical-pixel lines and 3-D edges, at any scale.
#pragma once
#include "platform/x11/x11_internal.h"

namespace plat::x11 {

constexpr Color kFace = Rgb(212, 208, 200);  // dialog frames and buttons
constexpr Color kHighlight = Rgb(255, 255, 255), kShadow = Rgb(128, 128, 128),
                kDarkShadow = Rgb(64, 64, 64), kBlack = Rgb(0, 0, 0);
constexpr Color kCaptionBlue = Rgb(0, 84, 227);  // an active caption bar

// A one-device-pixel line.
void PlainLine(const Surface& s, ::Window w, GC gc, Color c, int x1, int y1, int x2, int y2);

// A level or upright line one logical pixel thick, with device end points: at 100 % a plain
// line, else a bar that grows right or down from them (up or left for a far edge, so a right
// or bottom edge stays inside the control).
void Bar(const Surface& s, ::Window w, GC gc, Color c, int x1, int y1, int x2, int y2, bool farEdge = false);

// Raised (or, pressed, sunken) 3-D edge around a rectangle of device pixels.
void Edge(const Surface& s, ::Window w, GC gc, int width, int height, bool sunken);

}  // namespace plat::x11
