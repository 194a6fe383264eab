// The desktop's scale: how many device pixels one logical pixel (the program's pixel, 15 twips)
// covers. Logical pixel x covers device pixels [ToDevice(x), ToDevice(x + 1)), so rectangles
// that touch in logical pixels still touch on the device, and every device pixel belongs to
// exactly one logical pixel.
#pragma once
#include "platform/forms.h"

namespace plat {

class DisplayScale {
 public:
  DisplayScale() = default;
  // Factors below 1 (and nonsense) count as 1: the program is never drawn smaller.
  explicit DisplayScale(double factor);

  double Factor() const { return factor_; }
  bool IsOne() const { return factor_ == 1.0; }

  // A logical coordinate to the device coordinate of the same edge (round half up).
  int ToDevice(int logical) const;
  // The logical pixel whose device pixels include this one.
  int ToLogical(int device) const;
  // Both edges mapped, so the device rectangle covers exactly the logical one's pixels.
  PixelRect ToDevice(const PixelRect& logical) const;
  // A length from a logical origin (line widths, borders): never below 1 for a positive one.
  int Length(int logical) const;

 private:
  double factor_ = 1.0;
};

// A font's height in device pixels: its points at 96 dpi times the scale (12 pt is 16 pixels at
// 100 %, 32 at 200 %).
int FontPixels(double points, const DisplayScale& scale);

// The scale at which a logical w x h box still fits a device area of areaW x areaH pixels: the
// given one when it fits, else the largest that does (never below 1). Xft.dpi 9600 is a typo,
// and an 8x clock hangs off every screen.
DisplayScale FitScale(const DisplayScale& scale, int w, int h, int areaW, int areaH);

}  // namespace plat
