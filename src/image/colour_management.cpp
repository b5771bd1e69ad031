#include "image/colour_management.h"

#include <lcms2.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <mutex>
#include <string_view>

namespace vl::image {

struct TransformMaker {
  static ColourTransformPtr Make(void* handle, uint32_t format, bool grey) {
    return ColourTransformPtr(new ColourTransform(handle, format, grey));
  }
};

namespace {

constexpr cmsUInt32Number kIntent = INTENT_RELATIVE_COLORIMETRIC;
constexpr cmsUInt32Number kFlags = cmsFLAGS_NOCACHE | cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_COPY_ALPHA;
constexpr size_t kCacheEntries = 32;
constexpr size_t kChunkPixels = 4096;

struct ProfileCloser {
  void operator()(void* p) const {
    if (p) cmsCloseProfile(p);
  }
};
using ProfileHandle = std::unique_ptr<void, ProfileCloser>;

struct CacheEntry {
  size_t hash;
  std::vector<uint8_t> bytes;
  uint32_t format;
  ColourTarget target;
  bool greyPicture;
  ColourTransformPtr transform;  // null: refused
};

struct State {
  std::mutex lock;
  std::vector<uint8_t> monitor;  // empty: sRGB
  std::deque<CacheEntry> cache;
};

State& Shared() {
  static State state;
  return state;
}

ProfileHandle OpenProfile(const std::vector<uint8_t>& bytes) {
  if (bytes.empty() || bytes.size() > kMaxIccProfileBytes) return nullptr;
  return ProfileHandle(cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
}

ProfileKind KindOf(cmsHPROFILE p) {
  if (!p) return ProfileKind::kUnusable;
  cmsProfileClassSignature cls = cmsGetDeviceClass(p);
  if (cls == cmsSigLinkClass || cls == cmsSigAbstractClass || cls == cmsSigNamedColorClass)
    return ProfileKind::kUnusable;
  switch (cmsGetColorSpace(p)) {
    case cmsSigRgbData: return ProfileKind::kRgb;
    case cmsSigGrayData: return ProfileKind::kGrey;
    default: return ProfileKind::kUnusable;
  }
}

// The target profile: the monitor's bytes when set and usable, else sRGB.
ProfileHandle TargetProfile(ColourTarget target, const std::vector<uint8_t>& monitor) {
  if (target == ColourTarget::kMonitor && !monitor.empty()) {
    ProfileHandle p = OpenProfile(monitor);
    if (p && KindOf(p.get()) == ProfileKind::kRgb) return p;
  }
  return ProfileHandle(cmsCreate_sRGBProfile());
}

ColourTransformPtr Build(const std::vector<uint8_t>& profile, uint32_t format, ColourTarget target, bool greyPicture,
                         const std::vector<uint8_t>& monitor) {
  if (format != RGB24 && format != ARGB32) return nullptr;
  ProfileHandle in = OpenProfile(profile);
  ProfileKind kind = KindOf(in.get());
  if (kind == ProfileKind::kUnusable || (kind == ProfileKind::kGrey && !greyPicture)) return nullptr;
  ProfileHandle out = TargetProfile(target, monitor);
  if (!out) return nullptr;
  const cmsUInt32Number pixelType = format == RGB24 ? TYPE_RGB_8 : TYPE_ARGB_8;
  const bool grey = kind == ProfileKind::kGrey;
  cmsHTRANSFORM t = cmsCreateTransform(in.get(), grey ? TYPE_GRAY_8 : pixelType, out.get(), pixelType, kIntent,
                                       grey ? (kFlags & ~static_cast<cmsUInt32Number>(cmsFLAGS_COPY_ALPHA)) : kFlags);
  if (!t) return nullptr;
  return TransformMaker::Make(t, format, grey);
}

size_t HashOf(const std::vector<uint8_t>& bytes) {
  return std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool AllGrey(const ChunkyImage& c) {
  const size_t bpp = BytesPerPixel(c.format);
  const size_t n = static_cast<size_t>(c.width) * static_cast<size_t>(c.height);
  const size_t first = c.format == ARGB32 ? 1 : 0;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* p = c.pixels + i * bpp + first;
    if (p[0] != p[1] || p[1] != p[2]) return false;
  }
  return true;
}

}  // namespace

ColourTransform::~ColourTransform() {
  cmsDeleteTransform(static_cast<cmsHTRANSFORM>(handle_));
}

void ColourTransform::Apply(uint8_t* pixels, size_t count) const {
  const size_t bpp = format_ == RGB24 ? 3 : 4;
  if (!grey_) {
    for (size_t done = 0; done < count; done += kChunkPixels) {
      const size_t n = std::min(kChunkPixels, count - done);
      uint8_t* p = pixels + done * bpp;
      cmsDoTransform(static_cast<cmsHTRANSFORM>(handle_), p, p, static_cast<cmsUInt32Number>(n));
    }
    return;
  }
  uint8_t level[kChunkPixels];
  const size_t g = format_ == RGB24 ? 1 : 2;
  for (size_t done = 0; done < count; done += kChunkPixels) {
    const size_t n = std::min(kChunkPixels, count - done);
    uint8_t* p = pixels + done * bpp;
    for (size_t i = 0; i < n; ++i) level[i] = p[i * bpp + g];
    cmsDoTransform(static_cast<cmsHTRANSFORM>(handle_), level, p, static_cast<cmsUInt32Number>(n));
  }
}

ProfileKind KindOfProfile(const std::vector<uint8_t>& profile) {
  ProfileHandle p = OpenProfile(profile);
  return KindOf(p.get());
}

ColourTransformPtr TransformFromProfile(const std::vector<uint8_t>& profile, uint32_t format, ColourTarget target,
                                        bool greyPicture) {
  if (profile.empty()) return nullptr;
  const size_t hash = HashOf(profile);
  State& s = Shared();
  std::lock_guard<std::mutex> g(s.lock);
  for (const CacheEntry& e : s.cache) {
    if (e.hash == hash && e.format == format && e.target == target && e.greyPicture == greyPicture &&
        e.bytes == profile)
      return e.transform;
  }
  ColourTransformPtr t = Build(profile, format, target, greyPicture, s.monitor);
  if (s.cache.size() >= kCacheEntries) s.cache.pop_front();
  s.cache.push_back(CacheEntry{hash, profile, format, target, greyPicture, t});
  return t;
}

ColourTransformPtr TransformForPicture(const Texture& texture, uint32_t format, ColourTarget target) {
  if (!texture.iccProfile || texture.iccProfile->empty() || !texture.chunky) return nullptr;
  const ChunkyImage& c = *texture.chunky;
  bool greyPicture = false;
  if ((c.format == RGB24 || c.format == ARGB32) && c.pixels && KindOfProfile(*texture.iccProfile) == ProfileKind::kGrey)
    greyPicture = AllGrey(c);
  return TransformFromProfile(*texture.iccProfile, format, target, greyPicture);
}

bool ConvertPicture(ChunkyImage* picture, const std::vector<uint8_t>& profile, ColourTarget target) {
  if (!picture || !picture->pixels || (picture->format != RGB24 && picture->format != ARGB32)) return false;
  const bool greyPicture = KindOfProfile(profile) == ProfileKind::kGrey && AllGrey(*picture);
  ColourTransformPtr t = TransformFromProfile(profile, picture->format, target, greyPicture);
  if (!t) return false;
  t->Apply(picture->pixels, static_cast<size_t>(picture->width) * static_cast<size_t>(picture->height));
  return true;
}

void SetMonitorProfile(const std::vector<uint8_t>& profile) {
  State& s = Shared();
  std::lock_guard<std::mutex> g(s.lock);
  ProfileHandle p = OpenProfile(profile);
  if (p && KindOf(p.get()) == ProfileKind::kRgb)
    s.monitor = profile;
  else
    s.monitor.clear();
  s.cache.clear();
}

bool MonitorIsSrgb() {
  State& s = Shared();
  std::lock_guard<std::mutex> g(s.lock);
  return s.monitor.empty();
}

ColourTransformPtr SrgbToMonitor(uint32_t format) {
  if (format != RGB24 && format != ARGB32) return nullptr;
  State& s = Shared();
  {
    std::lock_guard<std::mutex> g(s.lock);
    if (s.monitor.empty()) return nullptr;
  }
  // The sRGB profile as bytes, so that it goes through the same cache as any file's profile.
  static const std::vector<uint8_t> kSrgbBytes = [] {
    std::vector<uint8_t> bytes;
    ProfileHandle p(cmsCreate_sRGBProfile());
    cmsUInt32Number n = 0;
    if (p && cmsSaveProfileToMem(p.get(), nullptr, &n) && n > 0) {
      bytes.resize(n);
      if (!cmsSaveProfileToMem(p.get(), bytes.data(), &n)) bytes.clear();
    }
    return bytes;
  }();
  return TransformFromProfile(kSrgbBytes, format, ColourTarget::kMonitor, false);
}

std::string ProfileRefusedMessage(const std::string& name) {
  return "Colour profile of " + name + " not usable; shown without colour management\n";
}

size_t ColourCacheSize() {
  State& s = Shared();
  std::lock_guard<std::mutex> g(s.lock);
  return s.cache.size();
}

}  // namespace vl::image
