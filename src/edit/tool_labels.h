// The labels the tool windows show for their choices and parameters.
#pragma once

#include <array>

namespace vl::edit {

// The alpha-mode radio, in radio order; position 0, 1, 2 selects kColourOnly, kColourAndAlpha,
// kAlphaOnly (filters::AlphaModeFromRadio).
inline constexpr std::array<const char*, 3> kAlphaModeLabels = {"Do not process alpha", "Process alpha",
                                                                "Process only alpha"};

// Contrast/Gamma.
inline constexpr const char* kContrastLabel = "Contrast";
inline constexpr const char* kGammaLabel = "Gamma";

// Levels.
inline constexpr const char* kLevelsLowLabel = "Minimum:";
inline constexpr const char* kLevelsHighLabel = "Maximum";
inline constexpr const char* kLevelsAutoLabel = "_Auto";

// HSV balance.
inline constexpr const char* kHueLabel = "Hue:";
inline constexpr const char* kSaturationLabel = "Saturation";
inline constexpr const char* kValueLabel = "Value:";

// RGB balance, in the order of the channels of RGBBalanceParams.
inline constexpr std::array<const char*, 4> kBalanceChannelLabels = {"Red:", "Green", "Blue:", "Alpha:"};

// Smooth.
inline constexpr const char* kSmoothHorizontalLabel = "Horizontal:";
inline constexpr const char* kSmoothVerticalLabel = "Vertical:";

// Gaussian blur; its alpha-mode radio is the "Method".
inline constexpr const char* kGaussianMaskSizeLabel = "Mask size:";
inline constexpr const char* kAlphaMethodLabel = "Method";

// Noise reduction: the filter switch, in the order of NoiseFilter, and its two pages' slider.
inline constexpr const char* kNoiseFilterLabel = "Filter";
inline constexpr std::array<const char*, 2> kNoiseFilterLabels = {"Gaussian blur", "Median"};
inline constexpr const char* kNoiseMaskSizeLabel = "Mask size: ";
inline constexpr const char* kNoiseThresholdLabel = "Threshold: ";

// Sharpen.
inline constexpr const char* kSharpenMaskSizeLabel = "Mask size:";
inline constexpr const char* kSharpenStrengthLabel = "Strength:";

// Crop: the border finder's tolerance, the rectangle's fields and the shapes it keeps.
inline constexpr const char* kCropToleranceLabel = "Tolerance:";
inline constexpr const char* kCropAutoLabel = "_Auto";
inline constexpr std::array<const char*, 4> kCropFieldLabels = {"Left:", "Top:", "Width:", "Height:"};
inline constexpr const char* kCropAspectLabel = "Aspect:";

// Straighten: the angle in hundredths of a degree, and the shrinking that hides the corners.
inline constexpr const char* kStraightenAngleLabel = "Angle:";
inline constexpr const char* kStraightenScaleLabel = "Scale to fit:";

// Blender.
inline constexpr const char* kBlenderBackgroundLabel = "Background color:";

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
inline constexpr const char* kMedianMethodLabel = "Method";
inline constexpr const char* kMedianMaskLabel = "Mask";
inline constexpr const char* kMedianRadiusLabel = "Radius:";

}  // namespace vl::edit
