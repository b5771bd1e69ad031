// The labels the tool windows show for their choices and parameters.
#pragma once

#include <array>

namespace vl::edit {

// The alpha-mode radio, in radio order; position 0, 1, 2 selects kColourOnly, kColourAndAlpha,
// kAlphaOnly (filters::AlphaModeFromRadio).
inline constexpr std::array<const char*, 3> kAlphaModeLabels = {"Do not process alpha", "Process alpha",
                                                                "Process only alpha"};

// Glow.
inline constexpr const char* kGlowSaturationLabel = "Saturation:";
inline constexpr const char* kGlowMaskSizeLabel = "Mask size:";
inline constexpr const char* kGlowStrengthLabel = "Strength:";
inline constexpr const char* kGlowThresholdLabel = "Threshold:";
inline constexpr const char* kGlowBackgroundLabel = "Background:";
inline constexpr const char* kGlowMonochromeLabel = "_Monochrome:";

// Insert alpha.
inline constexpr const char* kInsertAlphaFileLabel = "Alpha image:";
inline constexpr const char* kInsertAlphaResizeLabel = "_Resize alpha image:";
inline constexpr const char* kInsertAlphaNegativeLabel = "_Negative of alpha image:";

// The median tool's radios, in the order of RankMethod and of the mask switch.
inline constexpr std::array<const char*, 3> kMedianMethodLabels = {"Minimum", "Maximum", "Median"};
inline constexpr std::array<const char*, 2> kMaskLabels = {"Rectangular", "Circular"};

}  // namespace vl::edit
