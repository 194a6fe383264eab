// The desktop icon as a handful of flat, filled polygons in a 64 x 64 square. The same list is
// written out as the scalable SVG and drawn into the PNGs, so the two cannot drift apart.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace icon_art {

constexpr int kSide = 64;  // the drawing's square, in its own units; y grows downwards

struct Point {
  double x, y;
};

// A convex polygon filled with one colour (0xRRGGBB); a list of them is drawn in order, later
// ones over earlier ones.
struct Shape {
  uint32_t rgb;
  std::vector<Point> points;
};

std::vector<Shape> ClockIcon();

// The shapes as a stand-alone SVG file.
std::string Svg(const std::vector<Shape>& shapes);

// The shapes at n x n pixels: RGBA, 8 bits a channel, straight (not premultiplied) alpha, rows
// top-down. Each pixel's colour and alpha are the average of a grid of samples inside it.
std::vector<uint8_t> Rasterise(const std::vector<Shape>& shapes, int n);

}  // namespace icon_art
