// The display's off-screen buffer and the render commands: 0 render, 1 stop a progressive
// rendering, 2 render completely now. The renderer task calls Command() for each command
// it receives and Pass() for each unit of work between commands; the GUI copies the
// buffer under the same lock (Lock()).
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "display/display.h"
#include "image/colour_management.h"

namespace vl::display {

inline constexpr int kRenderCommand = 0;
inline constexpr int kStopCommand = 1;
inline constexpr int kRenderNowCommand = 2;
inline constexpr int kRowsPerPass = 10;
inline constexpr int kRedrawEveryRows = 50;

class Renderer {
 public:
  // The state is read by the renderer under the lock; change it only while holding Lock().
  DisplayState& state() { return state_; }
  std::recursive_mutex& Lock() { return lock_; }

  // Handles one command; returns true when the caller should ask for a redraw now.
  bool Command(int command);
  // One unit of work (progressive: the next 10 rows). Returns true when a redraw is due.
  bool Pass();
  bool InProgress() const { return inProgress_; }
  int NextRow() const { return nextRow_; }

  // The buffer: RGB, 3 bytes a pixel, bufferWidth x bufferHeight (0 x 0 before the first
  // rendering with an image).
  const std::vector<uint8_t>& buffer() const { return buffer_; }
  int bufferWidth() const { return bufWidth_; }
  int bufferHeight() const { return bufHeight_; }

  // The overlay picture blended over the first rows (not owned; null for none).
  void SetOverlay(const image::ChunkyImage* overlay) { overlay_ = overlay; }

  // Moves the buffer contents by (dx, dy) pixels and renders only the uncovered strips.
  void Scroll(int dx, int dy);

  // The transform the shown picture's rows go through (RGB24), or null to show the picture's
  // numbers as they are. Takes effect at the next rendering.
  void SetColourTransform(image::ColourTransformPtr transform);
  const image::ColourTransformPtr& colourTransform() const { return colour_; }

 private:
  void RenderRows(int from, int to);
  // RenderRow, then the picture's columns converted by the colour transform.
  void ShowRow(int r, uint8_t* row);
  void FillBackground();

  DisplayState state_;
  std::recursive_mutex lock_;
  std::vector<uint8_t> buffer_;
  std::vector<uint8_t> row_;
  int bufWidth_ = 0, bufHeight_ = 0;
  int nextRow_ = 0;
  bool inProgress_ = false;
  bool progressiveNow_ = true;
  const image::ChunkyImage* overlay_ = nullptr;
  image::ColourTransformPtr colour_;
};

}  // namespace vl::display
