#include "formats/picture_metadata.h"

#include <cstring>
#include <memory>
#include <new>

namespace vl::formats {
namespace {

constexpr uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

constexpr unsigned kTagOrientation = 0x0112;
constexpr unsigned kTagExifDirectory = 0x8769;
constexpr unsigned kTagInteropDirectory = 0xA005;

// The TIFF structure behind the "Exif\0\0" header, writable in place.
struct Tiff {
  uint8_t* base = nullptr;
  size_t size = 0;
  bool motorola = false;

  unsigned Get16(size_t at) const {
    const uint8_t* p = base + at;
    return motorola ? (p[0] << 8 | p[1]) : (p[0] | p[1] << 8);
  }
  uint32_t Get32(size_t at) const {
    const uint8_t* p = base + at;
    return motorola ? (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3])
                    : (uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24);
  }
  // Writes value in width bytes (1, 2 or 4) in the structure's byte order.
  void Put(size_t at, uint32_t value, int width) const {
    for (int i = 0; i < width; ++i) {
      const int shift = motorola ? 8 * (width - 1 - i) : 8 * i;
      base[at + i] = static_cast<uint8_t>(value >> shift);
    }
  }
};

// Bytes of one value of each TIFF field type 1-12.
constexpr int kBytesPerType[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};

// Bytes of one value of a TIFF field type whose orientation value can be rewritten (the
// integer types); 0 for every other type.
int IntegerWidth(unsigned type) {
  switch (type) {
    case 1:  // BYTE
    case 6:  // SBYTE
      return 1;
    case 3:  // SHORT
    case 8:  // SSHORT
      return 2;
    case 4:  // LONG
    case 9:  // SLONG
      return 4;
    default: return 0;
  }
}

enum class Walked { kOk, kBrokenDirectory, kBadOrientation, kTooManyDirectories };

// The EXIF reader enters at most this many directories, nested at most this deep.
constexpr int kMaxWalks = 32;
constexpr int kMaxNesting = 4;

struct Walker {
  const Tiff& t;
  int walks = 0;
};

// Sets every Orientation value of the directory at offset `at` to 1 and walks on through the
// EXIF and interoperability links and the link to a following directory, as the EXIF reader
// does (the main directory's following link is not walked: the caller cuts it). A directory
// below the main one that does not fit the structure is skipped, as the reader skips it; an
// Orientation that is no integer cannot be rewritten, and a chain longer than the reader's
// limit is not followed to its end: both make the block unusable.
Walked PatchDirectory(Walker& w, size_t at, int depth) {
  const Tiff& t = w.t;
  if (++w.walks > kMaxWalks) return Walked::kTooManyDirectories;
  if (depth > kMaxNesting) return Walked::kOk;
  if (at > t.size || t.size - at < 2) return Walked::kBrokenDirectory;
  const unsigned count = t.Get16(at);
  const size_t entries = at + 2;
  if (uint64_t{count} * 12 > t.size - entries) return Walked::kBrokenDirectory;
  auto follow = [&](uint32_t link) {
    if (link == 0 || link >= t.size) return Walked::kOk;
    const Walked r = PatchDirectory(w, link, depth + 1);
    return r == Walked::kBrokenDirectory ? Walked::kOk : r;
  };
  for (unsigned i = 0; i < count; ++i) {
    const size_t e = entries + size_t{i} * 12;
    const unsigned tag = t.Get16(e);
    if (tag == kTagOrientation) {
      const int width = IntegerWidth(t.Get16(e + 2));
      const uint32_t n = t.Get32(e + 4);
      if (width == 0 || n == 0) return Walked::kBadOrientation;
      size_t value = e + 8;
      if (uint64_t{n} * width > 4) {
        value = t.Get32(e + 8);
        if (value > t.size || t.size - value < static_cast<size_t>(width)) return Walked::kBadOrientation;
      }
      t.Put(value, 1, width);
    } else if (tag == kTagExifDirectory || tag == kTagInteropDirectory) {
      // The link is read where the reader reads it: in the entry, or behind the entry's offset
      // when the entry's type claims more than four bytes.
      const unsigned type = t.Get16(e + 2);
      const uint32_t n = t.Get32(e + 4);
      if (type < 1 || type > 12 || n >= 0x10000) continue;
      const uint64_t bytes = uint64_t{n} * kBytesPerType[type];
      size_t value = e + 8;
      if (bytes > 4) {
        value = t.Get32(e + 8);
        if (value > t.size || t.size - value < bytes) continue;
      }
      const Walked r = follow(t.Get32(value));
      if (r != Walked::kOk) return r;
    }
  }
  const size_t end = entries + size_t{count} * 12;
  if (depth > 0 && t.size - end >= 4) return follow(t.Get32(end));
  return Walked::kOk;
}

// True when the main directory at offset `at` lies inside the structure.
bool DirectoryFits(const Tiff& t, size_t at) {
  if (at > t.size || t.size - at < 2) return false;
  return uint64_t{t.Get16(at)} * 12 <= t.size - at - 2;
}

}  // namespace

SaveMetadata MetadataOf(const image::Texture* picture) {
  SaveMetadata m;
  if (!picture) return m;
  m.iccProfile = picture->iccProfile.get();
  m.exifBlock = picture->exifBlock.get();
  m.exifOrientationApplied = picture->exifOrientationApplied;
  return m;
}

std::vector<uint8_t> FindJpegExifBlock(const uint8_t* data, size_t size) {
  if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8) return {};
  size_t at = 2;
  while (at < size) {
    if (data[at] != 0xFF) return {};             // not a marker where one must be
    while (at < size && data[at] == 0xFF) ++at;  // fill bytes
    if (at >= size) return {};
    const uint8_t marker = data[at++];
    if (marker == 0xDA || marker == 0xD9) return {};                     // the scan or the end: no more headers
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length field
    if (size - at < 2) return {};
    const size_t length = size_t{data[at]} << 8 | data[at + 1];
    if (length < 2 || length > size - at) return {};
    const uint8_t* payload = data + at + 2;
    const size_t payloadSize = length - 2;
    if (marker == 0xE1 && payloadSize >= sizeof kExifHeader &&
        std::memcmp(payload, kExifHeader, sizeof kExifHeader) == 0) {
      try {
        return std::vector<uint8_t>(payload, payload + payloadSize);
      } catch (const std::bad_alloc&) {
        return {};
      }
    }
    at += length;
  }
  return {};
}

void AttachJpegExif(image::Texture* picture, const uint8_t* data, size_t size) {
  if (!picture) return;
  std::vector<uint8_t> block = FindJpegExifBlock(data, size);
  if (block.empty()) return;
  try {
    picture->exifBlock = std::make_shared<const std::vector<uint8_t>>(std::move(block));
  } catch (const std::bad_alloc&) {
    picture->exifBlock.reset();
  }
}

std::vector<uint8_t> ExifBlockForSave(const std::vector<uint8_t>& block, bool orientationApplied) {
  constexpr size_t kTiffStart = sizeof kExifHeader;
  if (block.size() > kMaxExifBlock || block.size() < kTiffStart + 8) return {};
  if (std::memcmp(block.data(), kExifHeader, kTiffStart) != 0) return {};
  std::vector<uint8_t> out;
  try {
    out = block;
  } catch (const std::bad_alloc&) {
    return {};
  }
  Tiff t;
  t.base = out.data() + kTiffStart;
  t.size = out.size() - kTiffStart;
  if (t.base[0] == 'I' && t.base[1] == 'I')
    t.motorola = false;
  else if (t.base[0] == 'M' && t.base[1] == 'M')
    t.motorola = true;
  else
    return {};
  if (t.Get16(2) != 0x2A) return {};
  const uint32_t first = t.Get32(4);
  if (first < 8 || !DirectoryFits(t, first)) return {};
  Walker walker{t};
  if (orientationApplied && PatchDirectory(walker, first, 0) != Walked::kOk) return {};
  if (orientationApplied) {
    // The thumbnail directory follows the main one; the thumbnail shows the picture the way
    // it lay before it was turned, so the saved block no longer links it.
    const size_t link = first + 2 + size_t{t.Get16(first)} * 12;
    if (t.size - link >= 4) t.Put(link, 0, 4);
  }
  return out;
}

bool IsRgbIccProfile(const std::vector<uint8_t>& profile) {
  // A profile header is 128 bytes and a tag count follows it.
  if (profile.size() < 132) return false;
  const uint8_t* p = profile.data();
  const uint32_t declared = uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
  return declared == profile.size() && std::memcmp(p + 36, "acsp", 4) == 0 && std::memcmp(p + 16, "RGB ", 4) == 0;
}

}  // namespace vl::formats
