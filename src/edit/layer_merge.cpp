#include "edit/layer_merge.h"

namespace vl::edit {

LayerMergeClass::LayerMergeClass(uint32_t mask, bool showOpacity) : showOpacity_(showOpacity) {
  if ((mask & filters::kAllBlendModes) == 0) mask = filters::kAllBlendModes;
  for (const BlendModeEntry& entry : kBlendModes)
    if (mask & entry.value) entries_.push_back(entry);
}

bool LayerMergeClass::SetActiveIndex(int index) {
  if (index < 0 || index >= static_cast<int>(entries_.size())) return false;
  active_ = index;
  return true;
}

bool LayerMergeClass::SetValue(uint32_t value) {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].value == value) {
      active_ = static_cast<int>(i);
      return true;
    }
  }
  return false;
}

bool LayerMergeClass::Offers(uint32_t value) const {
  for (const BlendModeEntry& entry : entries_)
    if (entry.value == value) return true;
  return false;
}

bool LayerMergeClass::SetOpacity(int percent) {
  if (percent < 0 || percent > 100) return false;
  opacity_ = percent;
  return true;
}

}  // namespace vl::edit
