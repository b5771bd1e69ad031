// The canvases of a HEIF file's derived pictures. A 'grid' or 'iovl' item names the size of the
// picture it assembles in its own data, apart from the 'ispe' size the file declares, and the
// decoding library allocates that canvas before it checks anything; so the sizes are read here
// first, from the file's item table, and a file with a canvas beyond the buffer limits is refused.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "formats/decoders.h"

namespace vl::formats::decode {
namespace {

struct Reader {
  const uint8_t* p;
  size_t left;
  bool ok = true;
  uint64_t Get(int bytes) {
    if (bytes == 0) return 0;
    if (!ok || left < static_cast<size_t>(bytes)) {
      ok = false;
      return 0;
    }
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v = v << 8 | p[i];
    p += bytes, left -= static_cast<size_t>(bytes);
    return v;
  }
};

struct Box {
  const uint8_t* body = nullptr;
  size_t size = 0;  // of the body
  char type[4] = {};
};

// The boxes of [data, data + size), in order; a box that runs past the end ends the list.
std::vector<Box> Boxes(const uint8_t* data, size_t size) {
  std::vector<Box> out;
  size_t at = 0;
  while (at + 8 <= size) {
    uint64_t boxSize = Be32(data + at);
    size_t head = 8;
    if (boxSize == 1) {
      if (at + 16 > size) break;
      boxSize = static_cast<uint64_t>(Be32(data + at + 8)) << 32 | Be32(data + at + 12);
      head = 16;
    } else if (boxSize == 0) {
      boxSize = size - at;
    }
    if (boxSize < head || boxSize > size - at) break;
    Box b;
    std::memcpy(b.type, data + at + 4, 4);
    b.body = data + at + head;
    b.size = static_cast<size_t>(boxSize) - head;
    out.push_back(b);
    at += static_cast<size_t>(boxSize);
  }
  return out;
}

const Box* Find(const std::vector<Box>& boxes, const char* type) {
  for (const Box& b : boxes)
    if (std::memcmp(b.type, type, 4) == 0) return &b;
  return nullptr;
}

struct Extent {
  uint64_t offset, length;
};
struct Location {
  uint32_t id;
  int method;  // 0: file offsets, 1: offsets into 'idat'
  std::vector<Extent> extents;
};

// The 'iloc' box's entries; false when the box cannot be read whole.
bool ReadLocations(const Box& iloc, std::vector<Location>& out) {
  Reader r{iloc.body, iloc.size};
  const int version = static_cast<int>(r.Get(1));
  r.Get(3);
  const int sizes = static_cast<int>(r.Get(2));
  const int offsetSize = sizes >> 12 & 15, lengthSize = sizes >> 8 & 15, baseSize = sizes >> 4 & 15;
  const int indexSize = version >= 1 ? sizes & 15 : 0;
  for (int s : {offsetSize, lengthSize, baseSize, indexSize})
    if (s != 0 && s != 4 && s != 8) return false;
  if (version > 2) return false;
  const uint64_t count = r.Get(version < 2 ? 2 : 4);
  for (uint64_t i = 0; i < count && r.ok; ++i) {
    Location loc;
    loc.id = static_cast<uint32_t>(r.Get(version < 2 ? 2 : 4));
    loc.method = version >= 1 ? static_cast<int>(r.Get(2) & 15) : 0;
    r.Get(2);  // data reference index
    const uint64_t base = r.Get(baseSize);
    const uint64_t extents = r.Get(2);
    for (uint64_t e = 0; e < extents && r.ok; ++e) {
      r.Get(indexSize);
      const uint64_t offset = r.Get(offsetSize), length = r.Get(lengthSize);
      if (offset > UINT64_MAX - base) return false;
      loc.extents.push_back({base + offset, length});
    }
    out.push_back(std::move(loc));
  }
  return r.ok;
}

// The ids of the items of the given type ('infe' versions 2 and 3 carry the type).
std::vector<uint32_t> ItemsOfType(const Box& iinf, const char* type) {
  std::vector<uint32_t> out;
  Reader r{iinf.body, iinf.size};
  const int version = static_cast<int>(r.Get(1));
  r.Get(3);
  r.Get(version == 0 ? 2 : 4);
  if (!r.ok) return out;
  for (const Box& infe : Boxes(r.p, r.left)) {
    if (std::memcmp(infe.type, "infe", 4) != 0) continue;
    Reader e{infe.body, infe.size};
    const int v = static_cast<int>(e.Get(1));
    e.Get(3);
    if (v < 2) continue;
    const uint32_t id = static_cast<uint32_t>(e.Get(v == 2 ? 2 : 4));
    e.Get(2);  // protection index
    if (e.ok && e.left >= 4 && std::memcmp(e.p, type, 4) == 0) out.push_back(id);
  }
  return out;
}

// The first bytes of an item's data (up to want bytes, from its first extent).
std::vector<uint8_t> ItemHead(const Location& loc, const uint8_t* file, size_t fileSize, const Box* idat, size_t want) {
  if (loc.extents.empty()) return {};
  const uint8_t* base = loc.method == 1 ? (idat ? idat->body : nullptr) : file;
  const size_t baseSize = loc.method == 1 ? (idat ? idat->size : 0) : fileSize;
  if (!base || (loc.method != 0 && loc.method != 1)) return {};
  const Extent& x = loc.extents.front();
  if (x.offset >= baseSize) return {};
  size_t n = static_cast<size_t>(std::min<uint64_t>(baseSize - x.offset, want));
  if (x.length != 0) n = static_cast<size_t>(std::min<uint64_t>(n, x.length));
  return std::vector<uint8_t>(base + x.offset, base + x.offset + n);
}

}  // namespace

bool HeifCanvasesAllowed(const uint8_t* data, size_t size) {
  const std::vector<Box> top = Boxes(data, size);
  const Box* meta = Find(top, "meta");
  if (!meta || meta->size < 4) return true;  // no item table: nothing derived to check
  const std::vector<Box> items = Boxes(meta->body + 4, meta->size - 4);
  const Box* iinf = Find(items, "iinf");
  const Box* iloc = Find(items, "iloc");
  if (!iinf || !iloc) return true;
  std::vector<Location> locations;
  if (!ReadLocations(*iloc, locations)) return false;
  const Box* idat = Find(items, "idat");
  // 'grid': version, flags, rows - 1, columns - 1, then the size; 'iovl': version, flags, four
  // 16-bit fill values, then the size. Bit 0 of the flags makes the size fields 32 bits wide.
  for (const auto& [type, sizeAt] : {std::pair<const char*, size_t>{"grid", 4}, {"iovl", 10}}) {
    for (uint32_t id : ItemsOfType(*iinf, type)) {
      for (const Location& loc : locations) {
        if (loc.id != id) continue;
        const std::vector<uint8_t> head = ItemHead(loc, data, size, idat, sizeAt + 8);
        if (head.size() < 2) return false;
        const bool wide = head[1] & 1;
        if (head.size() < sizeAt + (wide ? 8 : 4)) return false;
        const uint8_t* s = head.data() + sizeAt;
        const int64_t w = wide ? Be32(s) : Be16(s), h = wide ? Be32(s + 4) : Be16(s + 2);
        if (!image::SizeAllowed(w, h, image::ARGB32)) return false;
      }
    }
  }
  return true;
}

}  // namespace vl::formats::decode
