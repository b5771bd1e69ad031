#include "display/display.h"

#include <algorithm>
#include <cmath>

namespace vl::display {

ZoomInput ZoomInputForLinuxKey(int keyCode) {
  switch (keyCode) {
    case 13:  // KEY_EQUAL
    case 78:  // KEY_KPPLUS
      return ZoomInput::kIn;
    case 12:  // KEY_MINUS
    case 74:  // KEY_KPMINUS
      return ZoomInput::kOut;
    case 11:  // KEY_0
    case 82:  // KEY_KP0
      return ZoomInput::kReset;
    default: return ZoomInput::kNone;
  }
}

void DisplayState::SetArea(int width, int height) {
  areaWidth = std::max(0, width);
  areaHeight = std::max(0, height);
  ComputeScale();
  ComputeRects();
}

void DisplayState::SetImage(const image::ChunkyImage* img) {
  image = (img && img->format == image::ARGB32) ? img : nullptr;
  sourceWidth = image ? image->width : 0;
  sourceHeight = image ? image->height : 0;
  if (image && options.bilinear) {
    sourceWidth -= 1;
    sourceHeight -= 1;
  }
  ComputeScale();
  ComputeRects();
}

void DisplayState::SetBilinear(bool on) {
  options.bilinear = on;
  SetImage(image);
}

void DisplayState::ApplyOptions(const DisplayOptions& o) {
  options = o;
  SetImage(image);
}

void DisplayState::ComputeScale() {
  if (!image) {
    scale = userZoom * 1.0f;
    return;
  }
  float s = 1.0f;
  float iw = static_cast<float>(sourceWidth), ih = static_cast<float>(sourceHeight);
  float aw = static_cast<float>(areaWidth), ah = static_cast<float>(areaHeight);
  if (sourceWidth > 0 && sourceHeight > 0 && areaWidth > 0 && areaHeight > 0) {
    if ((ih / iw) * aw > ah)
      s = ah / ih;
    else
      s = aw / iw;
  }
  float f = 1.0f;
  if (s > 1.0f && options.zoomToFit) f = s;
  if (s < 1.0f && options.shrinkToFit) f = s;
  scale = f * userZoom;
}

namespace {
// One axis of the visible rectangles: area size a, source size s, scale k.
void Axis(float a, float s, float k, float& pan, float& s0, float& s1, float& d0, float& d1) {
  float scaled = s * k;
  if (scaled < a) {
    pan = 0.0f;
    d0 = a / 2 - scaled / 2;
    d1 = a / 2 + scaled / 2;
    if (d0 == d1) d1 += 1.0f;
    s0 = 0.0f;
    s1 = s;
    return;
  }
  float maxPan = s - a / k;
  pan = std::clamp(pan, 0.0f, std::max(0.0f, maxPan));
  float od0 = -pan * k, od1 = (s - pan) * k;
  s0 = 0.0f;
  s1 = s;
  d0 = od0;
  d1 = od1;
  float span = od1 - od0;
  if (span <= 0.0f) return;
  if (d0 < 0.0f) {
    s0 = (0.0f - od0) / span * s;
    d0 = 0.0f;
  }
  if (d1 > a) {
    s1 = (a - od0) / span * s;
    d1 = a;
  }
}
}  // namespace

void DisplayState::ClampPan() {
  float k = scale > 0.0f ? scale : 1.0f;
  auto clamp = [&](float& pan, float s, float a) {
    float maxPan = s - a / k;
    pan = std::clamp(pan, 0.0f, std::max(0.0f, maxPan));
  };
  clamp(panX, static_cast<float>(sourceWidth), static_cast<float>(areaWidth));
  clamp(panY, static_cast<float>(sourceHeight), static_cast<float>(areaHeight));
}

void DisplayState::ComputeRects() {
  if (!image || scale <= 0.0f) {
    source = Rect{};
    destination = Rect{};
    return;
  }
  Axis(static_cast<float>(areaWidth), static_cast<float>(sourceWidth), scale, panX, source.x0, source.x1,
       destination.x0, destination.x1);
  Axis(static_cast<float>(areaHeight), static_cast<float>(sourceHeight), scale, panY, source.y0, source.y1,
       destination.y0, destination.y1);
}

void DisplayState::Recentre(const Rect& old, float oldPanX, float oldPanY) {
  // The shift starts from the pan before the zoom: the rectangles just computed for the new
  // scale may have clamped it already, and clamping twice would move the middle point.
  float oldExtentX = old.x1 - old.x0, oldExtentY = old.y1 - old.y0;
  float newX = source.x1 - source.x0, newY = source.y1 - source.y0;
  bool moved = false;
  if (oldExtentX < static_cast<float>(sourceWidth)) {
    panX = oldPanX + (oldExtentX - newX) * 0.5f;
    moved = true;
  }
  if (oldExtentY < static_cast<float>(sourceHeight)) {
    panY = oldPanY + (oldExtentY - newY) * 0.5f;
    moved = true;
  }
  if (moved) ComputeRects();
}

void DisplayState::AfterZoom() {
  Rect old = source;
  float oldPanX = panX, oldPanY = panY;
  ComputeScale();
  ComputeRects();
  Recentre(old, oldPanX, oldPanY);
}

bool DisplayState::Zoom(ZoomInput input) {
  float before = userZoom;
  switch (input) {
    case ZoomInput::kIn:
      if (scale < kMaxZoomScale) userZoom *= 1.1f;
      break;
    case ZoomInput::kOut:
      if (scale > kMinZoomScale) userZoom = std::max(userZoom * 0.9f, kMinUserZoom);
      break;
    case ZoomInput::kReset: userZoom = 1.0f; break;
    case ZoomInput::kNone: return false;
  }
  AfterZoom();
  return userZoom != before;
}

bool DisplayState::DragZoom(int dy) {
  float factor = 1.0f + std::max(static_cast<float>(dy) * 0.02f, -0.5f);
  float before = userZoom;
  if (factor < 1.0f) {
    if (scale > kMinZoomScale) userZoom = std::max(userZoom * factor, kMinDragZoom);
  } else if (scale < kMaxZoomScale) {
    userZoom = std::min(userZoom * factor, kMaxDragZoom);
  }
  if (userZoom == before) return false;
  AfterZoom();
  return true;
}

void DisplayState::PanBy(float dx, float dy, int& shiftX, int& shiftY) {
  shiftX = shiftY = 0;
  if (!image || scale <= 0.0f) return;
  float oldX = panX, oldY = panY;
  panX -= dx / scale;
  panY -= dy / scale;
  ClampPan();
  ComputeRects();
  shiftX = static_cast<int>(std::lround((oldX - panX) * scale));
  shiftY = static_cast<int>(std::lround((oldY - panY) * scale));
}

void DisplayState::ResetView() {
  panX = panY = 0.0f;
  if (!options.keepZoom) userZoom = 1.0f;
  ComputeScale();
  ComputeRects();
}

bool DisplayState::ImagePoint(float bx, float by, int& ix, int& iy) const {
  // The same mapping RenderRow uses, so the pixel reported under the pointer is the one
  // drawn there: the row through the rectangles, the column by the 16.16 stepping from
  // the destination's first whole column.
  if (!image || bx < 0.0f || by < 0.0f) return false;
  const Rect& d = destination;
  const Rect& s = source;
  const int x = static_cast<int>(bx), r = static_cast<int>(by);
  const int dx0 = static_cast<int>(d.x0), dx1 = static_cast<int>(d.x1);
  const int dy0 = static_cast<int>(d.y0), dy1 = static_cast<int>(d.y1);
  if (x < dx0 || x > dx1 || x >= areaWidth || r < dy0 || r > dy1 || d.y1 == d.y0) return false;
  const float sy = s.y0 + (static_cast<float>(r) - d.y0) * (s.y1 - s.y0) / (d.y1 - d.y0);
  const int h = image->height, w = image->width;
  if (!(sy >= 0.0f) || !(sy < static_cast<float>(UsesBilinear() ? h - 1 : h))) return false;
  const int64_t span = dx1 - dx0;
  const int64_t step = span > 0 ? static_cast<int64_t>((s.x1 - s.x0) * 65536.0f) / span : 0;
  const int64_t fx = static_cast<int64_t>(s.x0 * 65536.0f) + step * (x - dx0);
  ix = static_cast<int>(fx >> 16);
  iy = static_cast<int>(static_cast<int64_t>(sy * 65536.0f) >> 16);
  if (ix < 0 || iy < 0 || iy >= h) return false;
  if (ix >= w) ix = w - 1;  // the inclusive last column, clamped as when rendering
  return true;
}

bool DisplayState::PixelAt(float bx, float by, uint32_t& argb) const {
  int ix, iy;
  if (!ImagePoint(bx, by, ix, iy)) return false;
  const uint8_t* p = image->pixels + (static_cast<size_t>(iy) * image->width + ix) * 4;
  argb = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
  return true;
}

bool DisplayState::BufferToImage(float bx, float by, float& ix, float& iy) const {
  const Rect& d = destination;
  const Rect& s = source;
  if (!image || !(d.x1 > d.x0) || !(d.y1 > d.y0)) return false;
  ix = s.x0 + (bx - d.x0) * (s.x1 - s.x0) / (d.x1 - d.x0);
  iy = s.y0 + (by - d.y0) * (s.y1 - s.y0) / (d.y1 - d.y0);
  return true;
}

bool DisplayState::ImageToBuffer(float ix, float iy, float& bx, float& by) const {
  const Rect& d = destination;
  const Rect& s = source;
  if (!image || !(s.x1 > s.x0) || !(s.y1 > s.y0)) return false;
  bx = d.x0 + (ix - s.x0) * (d.x1 - d.x0) / (s.x1 - s.x0);
  by = d.y0 + (iy - s.y0) * (d.y1 - d.y0) / (s.y1 - s.y0);
  return true;
}

int DisplayState::PickHandle(float bx, float by, float grab) const {
  float x0, y0, x1, y1;
  if (!ImageToBuffer(selection.x0, selection.y0, x0, y0) || !ImageToBuffer(selection.x1, selection.y1, x1, y1))
    return 0;
  auto near = [grab](float a, float b) { return std::fabs(a - b) <= grab; };
  auto between = [grab](float v, float a, float b) { return v >= std::min(a, b) - grab && v <= std::max(a, b) + grab; };
  if (near(bx, x0) && near(by, y0)) return 1;
  if (near(bx, x1) && near(by, y0)) return 2;
  if (near(bx, x1) && near(by, y1)) return 3;
  if (near(bx, x0) && near(by, y1)) return 4;
  if (near(by, y0) && between(bx, x0, x1)) return 5;
  if (near(bx, x1) && between(by, y0, y1)) return 6;
  if (near(by, y1) && between(bx, x0, x1)) return 7;
  if (near(bx, x0) && between(by, y0, y1)) return 8;
  return 0;
}

void DisplayState::DragSelection(int handleMode, float x, float y) {
  if (handleMode < 1 || handleMode > 8) return;
  const float w = image ? static_cast<float>(image->width) : 0.0f;
  const float h = image ? static_cast<float>(image->height) : 0.0f;
  if (image) {
    x = std::clamp(x, 0.0f, w);
    y = std::clamp(y, 0.0f, h);
  }
  Rect& s = selection;
  if (selectionAspect <= 0.0f || !image) {
    switch (handleMode) {
      case 1: s.x0 = x, s.y0 = y; break;
      case 2: s.x1 = x, s.y0 = y; break;
      case 3: s.x1 = x, s.y1 = y; break;
      case 4: s.x0 = x, s.y1 = y; break;
      case 5: s.y0 = y; break;
      case 6: s.x1 = x; break;
      case 7: s.y1 = y; break;
      case 8: s.x0 = x; break;
      default: break;
    }
    return;
  }
  // The corner that stays (ax, ay), the corner that moves (mx, my), and which of the
  // pointer's coordinates the handle takes.
  struct Grip {
    float Rect::*ax;
    float Rect::*ay;
    float Rect::*mx;
    float Rect::*my;
    bool useX, useY;
  };
  static constexpr Grip kGrips[] = {
      {&Rect::x1, &Rect::y1, &Rect::x0, &Rect::y0, true, true},   // 1: top left
      {&Rect::x0, &Rect::y1, &Rect::x1, &Rect::y0, true, true},   // 2: top right
      {&Rect::x0, &Rect::y0, &Rect::x1, &Rect::y1, true, true},   // 3: bottom right
      {&Rect::x1, &Rect::y0, &Rect::x0, &Rect::y1, true, true},   // 4: bottom left
      {&Rect::x0, &Rect::y1, &Rect::x1, &Rect::y0, false, true},  // 5: top edge
      {&Rect::x0, &Rect::y0, &Rect::x1, &Rect::y1, true, false},  // 6: right edge
      {&Rect::x0, &Rect::y0, &Rect::x1, &Rect::y1, false, true},  // 7: bottom edge
      {&Rect::x1, &Rect::y0, &Rect::x0, &Rect::y1, true, false},  // 8: left edge
  };
  const Grip& g = kGrips[handleMode - 1];
  const float a = selectionAspect;
  const float ax = s.*g.ax, ay = s.*g.ay;
  const float dx = (g.useX ? x : s.*g.mx) - ax, dy = (g.useY ? y : s.*g.my) - ay;
  const float sx = dx < 0.0f ? -1.0f : 1.0f, sy = dy < 0.0f ? -1.0f : 1.0f;
  float sw = std::fabs(dx), sh = std::fabs(dy);
  if (g.useX && g.useY) {
    if (sw >= sh * a)
      sh = sw / a;
    else
      sw = sh * a;
  } else if (g.useX) {
    sh = sw / a;
  } else {
    sw = sh * a;
  }
  const float maxW = sx > 0.0f ? w - ax : ax, maxH = sy > 0.0f ? h - ay : ay;
  if (sw > maxW) sw = maxW, sh = sw / a;
  if (sh > maxH) sh = maxH, sw = sh * a;
  s.*g.mx = ax + sx * sw;
  s.*g.my = ay + sy * sh;
}

void DisplayState::SetSelection(const Rect& r) {
  if (!image) {
    selection = Rect{};
    return;
  }
  const float w = static_cast<float>(image->width), h = static_cast<float>(image->height);
  selection =
      Rect{std::clamp(r.x0, 0.0f, w), std::clamp(r.y0, 0.0f, h), std::clamp(r.x1, 0.0f, w), std::clamp(r.y1, 0.0f, h)};
}

void DisplayState::FitSelectionToAspect() {
  if (selectionAspect <= 0.0f || !image) return;
  DragSelection(3, selection.x1, selection.y1);
}

PixelRect SelectionPixels(const Rect& s) {
  const auto edge = [](float v) { return static_cast<int32_t>(std::lround(v)); };
  const int32_t left = edge(std::min(s.x0, s.x1)), right = edge(std::max(s.x0, s.x1));
  const int32_t top = edge(std::min(s.y0, s.y1)), bottom = edge(std::max(s.y0, s.y1));
  if (right == left || bottom == top) return PixelRect{left, top, 0, 0};
  return PixelRect{left, top, right - left, bottom - top};
}

Rect SelectionOf(const PixelRect& p) {
  return Rect{static_cast<float>(p.left), static_cast<float>(p.top), static_cast<float>(p.left + p.width),
              static_cast<float>(p.top + p.height)};
}

float AspectOf(int preset, int32_t width, int32_t height) {
  if (preset < 0 || preset >= kAspectPresetCount) return 0.0f;
  const AspectPreset& p = kAspectPresets[preset];
  if (p.width < 0) return width > 0 && height > 0 ? static_cast<float>(width) / static_cast<float>(height) : 0.0f;
  if (p.width == 0) return 0.0f;
  return static_cast<float>(p.width) / static_cast<float>(p.height);
}

}  // namespace vl::display
