// The blend-mode chooser behind LayerMergeClass: the modes it offers (from its creator's
// mask), the chosen one, and the opacity slider's state. The window's widget shows it as a
// "Mode:" cycle and an "Opacity:" slider.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "filters/blend_mode.h"

namespace vl::edit {

using filters::kBlendAdd;
using filters::kBlendBurn;
using filters::kBlendDivide;
using filters::kBlendDodge;
using filters::kBlendMultiply;
using filters::kBlendNormal;
using filters::kBlendScreen;
using filters::kBlendSubstract;

struct BlendModeEntry {
  const char* label;
  uint32_t value;
};

inline constexpr std::array<BlendModeEntry, 8> kBlendModes = {{
    {"Normal", kBlendNormal},
    {"Add", kBlendAdd},
    {"Substract", kBlendSubstract},
    {"Multiply", kBlendMultiply},
    {"Divide", kBlendDivide},
    {"Screen", kBlendScreen},
    {"Dodge", kBlendDodge},
    {"Burn", kBlendBurn},
}};

inline constexpr const char* kBlendModeLabel = "Mode:";
inline constexpr const char* kOpacityLabel = "Opacity:";
inline constexpr const char* kOpacityFormat = "%ld%%";

class LayerMergeClass {
 public:
  // mask: the modes to offer; 0 (or a mask with none of the eight bits) offers all eight.
  explicit LayerMergeClass(uint32_t mask = 0, bool showOpacity = true);

  // The offered modes, in ascending bit order.
  const std::vector<BlendModeEntry>& Entries() const { return entries_; }
  int ActiveIndex() const { return active_; }
  // The bit value of the chosen mode (the first offered one until something is chosen).
  uint32_t Value() const { return entries_[static_cast<std::size_t>(active_)].value; }

  // Choose by cycle position or by value; a position or value that is not offered is
  // refused (false) and the choice stays as it was.
  bool SetActiveIndex(int index);
  bool SetValue(uint32_t value);
  bool Offers(uint32_t value) const;

  bool OpacityShown() const { return showOpacity_; }
  int Opacity() const { return opacity_; }
  // Percent, 0..100; other values are refused.
  bool SetOpacity(int percent);

 private:
  std::vector<BlendModeEntry> entries_;
  int active_ = 0;
  bool showOpacity_;
  int opacity_ = 100;
};

}  // namespace vl::edit
