// The display area's view state: fitting and zoom rules, the visible rectangles, panning,
// the selection rectangle and pointer lookups. The row renderer (row_renderer.h), the
// widget (ui/) and the renderer task build on this; nothing here draws.
#pragma once

#include <cstdint>
#include <vector>

#include "image/chunky.h"

namespace vl::display {

struct Rect {
  float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

enum ContentsMode : int { kColorAlpha = 0, kColor = 1, kAlpha = 2 };

// The options applied as one unit (stored with the application's settings).
struct DisplayOptions {
  bool bilinear = false;
  bool zoomToFit = false;
  bool shrinkToFit = false;
  bool keepZoom = false;
  bool progressive = true;
};

enum class ZoomInput { kNone, kIn, kOut, kReset };

// Linux input key codes (as in <linux/input-event-codes.h>) of the zoom keys: "=" and
// keypad "+" zoom in, "-" and keypad "-" zoom out, "0" and keypad "0" reset.
ZoomInput ZoomInputForLinuxKey(int keyCode);

inline constexpr float kMaxZoomScale = 50.0f;  // zooming in stops at this scale
inline constexpr float kMinZoomScale = 0.2f;   // zooming out stops at this scale
inline constexpr float kMinUserZoom = 0.1f;    // keys and wheel never go below
inline constexpr float kMinDragZoom = 0.2f;
inline constexpr float kMaxDragZoom = 10.0f;

struct DisplayState {
  const image::ChunkyImage* image = nullptr;  // ARGB32, not owned
  int32_t sourceWidth = 0, sourceHeight = 0;  // each one less with bilinear on
  float scale = 1.0f;
  float userZoom = 1.0f;
  float panX = 0.0f, panY = 0.0f;
  Rect source, destination;
  DisplayOptions options;
  int contents = kColorAlpha;
  uint32_t background = 0x000000;  // 0xRRGGBB
  int areaWidth = 0, areaHeight = 0;

  // Selection in image coordinates: pixel edges, so pixel i spans i to i + 1.
  Rect selection;
  // The width / height ratio a dragged selection keeps; 0 for none.
  float selectionAspect = 0.0f;

  void SetArea(int width, int height);
  // Stores the image and its source size and recomputes the scale (1.0 without image).
  void SetImage(const image::ChunkyImage* img);
  void SetBilinear(bool on);  // the source size depends on it
  void ApplyOptions(const DisplayOptions& o);

  void ComputeScale();
  void ComputeRects();
  // The scale as a 16.16 fixed-point number (the zoom attribute).
  int32_t ScaleFixed() const { return static_cast<int32_t>(scale * 65536.0f); }

  // Zoom changes; each returns true when the zoom changed (then the caller renders).
  bool Zoom(ZoomInput input);
  bool DragZoom(int dy);
  // Pan by a pointer motion of (dx, dy) buffer pixels; returns the buffer shift actually
  // applied (in buffer pixels) so the caller can move the pixels and render the strips.
  void PanBy(float dx, float dy, int& shiftX, int& shiftY);
  // Pan := 0; user zoom := 1 unless keep zoom is on.
  void ResetView();

  // Buffer position to image pixel; false outside the image.
  bool ImagePoint(float bx, float by, int& ix, int& iy) const;
  // ARGB of the image pixel under the buffer position; false outside.
  bool PixelAt(float bx, float by, uint32_t& argb) const;

  // Buffer position to image coordinates and back through the two rectangles, without
  // bounds; false when there is no image or the rectangles are empty.
  bool BufferToImage(float bx, float by, float& ix, float& iy) const;
  bool ImageToBuffer(float ix, float iy, float& bx, float& by) const;
  // The selection handle (1..8, as DragSelection takes them) within grab buffer pixels of
  // the buffer position: corners before edges, 0 for none.
  int PickHandle(float bx, float by, float grab) const;

  // Moves the selection handle (1..8) to the image point (x, y), inside the picture. With
  // selectionAspect set the corner opposite the handle stays and the rectangle keeps the
  // ratio: a corner follows the longer of the two sides the pointer asks for, an edge takes
  // the other side along, and at the picture's edges the whole rectangle shrinks.
  void DragSelection(int handleMode, float x, float y);
  // Sets the selection, limited to the picture (none without a picture).
  void SetSelection(const Rect& r);
  // Gives the selection the ratio selectionAspect from its first corner, inside the picture.
  void FitSelectionToAspect();

  // Whether rows are rendered with bilinear filtering.
  bool UsesBilinear() const { return options.bilinear && scale != 1.0f; }

 private:
  void AfterZoom();
  void Recentre(const Rect& old, float oldPanX, float oldPanY);
  void ClampPan();
};

// The selection's whole pixels, corners in any order: left, top, width, height rounded to
// the nearest pixel edges; width and height 0 for an empty selection.
struct PixelRect {
  int32_t left = 0, top = 0, width = 0, height = 0;
  bool operator==(const PixelRect&) const = default;
};
PixelRect SelectionPixels(const Rect& selection);
// The selection covering the pixels.
Rect SelectionOf(const PixelRect& pixels);

// The shapes a selection can be held to: free, the picture's own, then landscape and
// portrait ratios.
struct AspectPreset {
  const char* label;
  int32_t width, height;  // 0, 0: free; -1, -1: the picture's own
};
inline constexpr AspectPreset kAspectPresets[] = {
    {"Free", 0, 0},  {"Picture", -1, -1}, {"1:1", 1, 1}, {"3:2", 3, 2},   {"4:3", 4, 3},
    {"16:9", 16, 9}, {"2:3", 2, 3},       {"3:4", 3, 4}, {"9:16", 9, 16},
};
inline constexpr int kAspectPresetCount = static_cast<int>(sizeof(kAspectPresets) / sizeof(kAspectPresets[0]));
// The width / height ratio of preset for a picture of width x height; 0 for free (and for
// the picture's own without a picture, or a preset out of range).
float AspectOf(int preset, int32_t width, int32_t height);

}  // namespace vl::display
