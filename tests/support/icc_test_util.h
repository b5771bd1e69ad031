// ICC profiles made with lcms2 and JPEG files that carry them, for the colour tests.
#pragma once

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

// jpeglib.h needs <cstdio> first.
#include <jpeglib.h>

namespace vl::test {

inline std::vector<uint8_t> ProfileBytes(cmsHPROFILE p) {
  std::vector<uint8_t> bytes;
  cmsUInt32Number n = 0;
  if (p && cmsSaveProfileToMem(p, nullptr, &n) && n > 0) {
    bytes.resize(n);
    if (!cmsSaveProfileToMem(p, bytes.data(), &n)) bytes.clear();
  }
  if (p) cmsCloseProfile(p);
  return bytes;
}

inline cmsHPROFILE RgbProfile(const cmsCIExyYTRIPLE& primaries, cmsToneCurve* curve) {
  cmsCIExyY white{0.3127, 0.3290, 1.0};
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE p = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(curve);
  return p;
}

// Adobe RGB (1998): its primaries, D65, gamma 563/256.
inline std::vector<uint8_t> AdobeRgbProfile() {
  const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
  return ProfileBytes(RgbProfile(primaries, cmsBuildGamma(nullptr, 563.0 / 256.0)));
}

// Display P3: its primaries, D65, the sRGB curve.
inline std::vector<uint8_t> DisplayP3Profile() {
  const cmsCIExyYTRIPLE primaries{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
  const double srgbCurve[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
  return ProfileBytes(RgbProfile(primaries, cmsBuildParametricToneCurve(nullptr, 4, srgbCurve)));
}

inline std::vector<uint8_t> GreyProfile() {
  cmsCIExyY white{0.3127, 0.3290, 1.0};
  cmsToneCurve* curve = cmsBuildGamma(nullptr, 1.8);
  cmsHPROFILE p = cmsCreateGrayProfile(&white, curve);
  cmsFreeToneCurve(curve);
  return ProfileBytes(p);
}

inline std::vector<uint8_t> LabProfile() {
  return ProfileBytes(cmsCreateLab4Profile(nullptr));
}

// What lcms2 itself makes of one pixel from profile to sRGB (relative colorimetric with
// black point compensation).
inline std::array<uint8_t, 3> LcmsToSrgb(const std::vector<uint8_t>& profile, std::array<uint8_t, 3> rgb) {
  cmsHPROFILE in = cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
  cmsHPROFILE out = cmsCreate_sRGBProfile();
  cmsHTRANSFORM t = cmsCreateTransform(in, TYPE_RGB_8, out, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC,
                                       cmsFLAGS_BLACKPOINTCOMPENSATION);
  std::array<uint8_t, 3> result{};
  if (t) cmsDoTransform(t, rgb.data(), result.data(), 1);
  if (t) cmsDeleteTransform(t);
  cmsCloseProfile(in);
  cmsCloseProfile(out);
  return result;
}

// The APP2 payloads of profile split into count chunks, "ICC_PROFILE\0", sequence, count.
inline std::vector<std::vector<uint8_t>> IccChunks(const std::vector<uint8_t>& profile, int count) {
  std::vector<std::vector<uint8_t>> chunks;
  const size_t per = (profile.size() + count - 1) / count;
  for (int i = 0; i < count; ++i) {
    std::vector<uint8_t> c = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
    c.push_back(static_cast<uint8_t>(i + 1));
    c.push_back(static_cast<uint8_t>(count));
    const size_t from = std::min(profile.size(), per * i), to = std::min(profile.size(), per * (i + 1));
    c.insert(c.end(), profile.begin() + static_cast<long>(from), profile.begin() + static_cast<long>(to));
    chunks.push_back(std::move(c));
  }
  return chunks;
}

// A w x h JPEG of one colour (quality 100, no subsampling) with the given APP2 payloads, or,
// with useIccWriter, with profile written by libjpeg's own jpeg_write_icc_profile.
inline std::vector<uint8_t> FlatJpeg(int w, int h, std::array<uint8_t, 3> rgb,
                                     const std::vector<std::vector<uint8_t>>& app2,
                                     const std::vector<uint8_t>* profile = nullptr) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &mem, &size);
  c.image_width = static_cast<JDIMENSION>(w);
  c.image_height = static_cast<JDIMENSION>(h);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 100, TRUE);
  for (int i = 0; i < c.num_components; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
  jpeg_start_compress(&c, TRUE);
  for (const auto& p : app2) jpeg_write_marker(&c, JPEG_APP0 + 2, p.data(), static_cast<unsigned>(p.size()));
  if (profile) jpeg_write_icc_profile(&c, profile->data(), static_cast<unsigned>(profile->size()));
  std::vector<uint8_t> row(static_cast<size_t>(w) * 3);
  for (int x = 0; x < w; ++x) row[x * 3] = rgb[0], row[x * 3 + 1] = rgb[1], row[x * 3 + 2] = rgb[2];
  while (c.next_scanline < c.image_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<uint8_t> out(mem, mem + size);
  jpeg_destroy_compress(&c);
  std::free(mem);
  return out;
}

}  // namespace vl::test
