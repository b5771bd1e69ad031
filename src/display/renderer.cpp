#include "display/renderer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "display/row_renderer.h"
#include "platform/thread_pool.h"

namespace vl::display {

// The first row is filled pixel by pixel and copied to the others, rows split over the pool.
void Renderer::FillBackground() {
  uint8_t r = static_cast<uint8_t>(state_.background >> 16), g = static_cast<uint8_t>(state_.background >> 8),
          b = static_cast<uint8_t>(state_.background);
  const size_t stride = static_cast<size_t>(std::max(bufWidth_, 0)) * 3;
  if (stride == 0 || bufHeight_ <= 0 || buffer_.size() != stride * static_cast<size_t>(bufHeight_)) {
    for (size_t i = 0; i + 2 < buffer_.size(); i += 3) buffer_[i] = r, buffer_[i + 1] = g, buffer_[i + 2] = b;
    return;
  }
  uint8_t* first = buffer_.data();
  for (size_t i = 0; i + 2 < stride; i += 3) first[i] = r, first[i + 1] = g, first[i + 2] = b;
  platform::ParallelFor(1, bufHeight_, platform::GrainFor(static_cast<int64_t>(stride)), [&](int64_t y0, int64_t y1) {
    for (int64_t y = y0; y < y1; ++y) std::memcpy(first + static_cast<size_t>(y) * stride, first, stride);
  });
}

// Each buffer row is rendered from the state and the image alone, so rows are split over
// the thread pool; the caller holds the lock for the whole call.
void Renderer::RenderRows(int from, int to) {
  to = std::min(to, bufHeight_);
  from = std::max(0, from);
  platform::ParallelFor(from, to, platform::GrainFor(int64_t{bufWidth_} * 8), [&](int64_t r0, int64_t r1) {
    for (int r = static_cast<int>(r0); r < static_cast<int>(r1); ++r) {
      uint8_t* row = buffer_.data() + static_cast<size_t>(r) * bufWidth_ * 3;
      ShowRow(r, row);
      if (overlay_ && r < overlay_->height) BlendOverlayRow(overlay_, r, row, bufWidth_);
    }
  });
}

// The alpha contents mode shows no colours, so nothing is converted there.
void Renderer::ShowRow(int r, uint8_t* row) {
  RenderRow(state_, r, row);
  int from = 0, to = 0;
  if (!colour_ || colour_->format() != image::RGB24 || state_.contents == kAlpha) return;
  if (!ShownColumns(state_, r, from, to)) return;
  colour_->Apply(row + static_cast<size_t>(from) * 3, static_cast<size_t>(to - from + 1));
}

void Renderer::SetColourTransform(image::ColourTransformPtr transform) {
  std::lock_guard<std::recursive_mutex> g(lock_);
  colour_ = std::move(transform);
}

bool Renderer::Command(int command) {
  std::lock_guard<std::recursive_mutex> g(lock_);
  if (command == kStopCommand) {
    inProgress_ = false;
    nextRow_ = 0;
    return false;
  }
  if (command != kRenderCommand && command != kRenderNowCommand) return false;
  if (bufWidth_ != state_.areaWidth || bufHeight_ != state_.areaHeight || buffer_.empty()) {
    if (state_.image && image::SizeAllowed(state_.areaWidth, state_.areaHeight, image::RGB24)) {
      buffer_.assign(image::BufferBytes(state_.areaWidth, state_.areaHeight, image::RGB24), 0);
      bufWidth_ = state_.areaWidth;
      bufHeight_ = state_.areaHeight;
    } else if (state_.image) {
      // An area too large for a buffer renders nothing rather than failing later.
      std::vector<uint8_t>().swap(buffer_);
      bufWidth_ = bufHeight_ = 0;
    }
    state_.ComputeScale();
  }
  if (buffer_.empty()) {
    inProgress_ = true;  // the idle pass asks for a redraw of the background
    nextRow_ = 0;
    return false;
  }
  FillBackground();
  nextRow_ = 0;
  inProgress_ = true;
  progressiveNow_ = state_.options.progressive && command == kRenderCommand;
  if (state_.image) state_.ComputeRects();
  if (!progressiveNow_ && state_.image && state_.image->height > 0) {
    RenderRows(0, bufHeight_);
    nextRow_ = bufHeight_;
  }
  return false;
}

bool Renderer::Pass() {
  std::lock_guard<std::recursive_mutex> g(lock_);
  if (!inProgress_) return false;
  if (!state_.image || buffer_.empty() || !progressiveNow_) {
    inProgress_ = false;
    return true;
  }
  int end = std::min(nextRow_ + kRowsPerPass, bufHeight_);
  RenderRows(nextRow_, end);
  nextRow_ = end;
  bool redraw = (nextRow_ > 0 && nextRow_ % kRedrawEveryRows == 0) || nextRow_ >= bufHeight_;
  if (nextRow_ >= bufHeight_) inProgress_ = false;
  return redraw;
}

void Renderer::Scroll(int dx, int dy) {
  std::lock_guard<std::recursive_mutex> g(lock_);
  if (buffer_.empty() || (dx == 0 && dy == 0)) return;
  const int w = bufWidth_, h = bufHeight_;
  if (std::abs(dx) >= w || std::abs(dy) >= h) {
    FillBackground();
    RenderRows(0, h);
    return;
  }
  const size_t stride = static_cast<size_t>(w) * 3;
  std::vector<uint8_t> moved(buffer_.size());
  for (int y = 0; y < h; ++y) {
    int sy = y - dy;
    if (sy < 0 || sy >= h) continue;
    int x0 = std::max(0, dx), x1 = std::min(w, w + dx);
    std::memcpy(moved.data() + y * stride + x0 * 3, buffer_.data() + sy * stride + (x0 - dx) * 3,
                static_cast<size_t>(x1 - x0) * 3);
  }
  buffer_.swap(moved);
  // Uncovered strips: whole rows at the top or bottom, columns at the left or right.
  uint8_t bg[3] = {static_cast<uint8_t>(state_.background >> 16), static_cast<uint8_t>(state_.background >> 8),
                   static_cast<uint8_t>(state_.background)};
  auto fillRow = [&](int y, int from, int to) {
    for (int x = from; x < to; ++x) std::memcpy(buffer_.data() + y * stride + x * 3, bg, 3);
  };
  for (int y = 0; y < h; ++y) {
    bool newRow = (dy > 0 && y < dy) || (dy < 0 && y >= h + dy);
    uint8_t* row = buffer_.data() + y * stride;
    if (newRow) {
      fillRow(y, 0, w);
      ShowRow(y, row);
      continue;
    }
    if (dx == 0) continue;
    // Render the row into a scratch row and copy only the uncovered columns.
    row_.assign(stride, 0);
    std::memcpy(row_.data(), row, stride);
    int from = dx > 0 ? 0 : w + dx, to = dx > 0 ? dx : w;
    for (int x = from; x < to; ++x) std::memcpy(row_.data() + x * 3, bg, 3);
    ShowRow(y, row_.data());
    std::memcpy(row + from * 3, row_.data() + from * 3, static_cast<size_t>(to - from) * 3);
  }
  if (overlay_) {
    // The overlay stays fixed on the area: redo the rows it covers.
    int oh = std::min(overlay_->height, h);
    for (int y = 0; y < oh; ++y) {
      fillRow(y, 0, w);
      RenderRows(y, y + 1);
    }
  }
}

}  // namespace vl::display
