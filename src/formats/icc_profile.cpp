#include "formats/icc_profile.h"

#include <cstdio>
#include <cstring>
#include <memory>

// jpeglib.h needs <cstdio> first.
#include <jpeglib.h>
#include <webp/demux.h>

#include "image/colour_management.h"

namespace vl::formats {
namespace {

constexpr uint8_t kIccTag[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
constexpr size_t kIccHead = sizeof kIccTag + 2;  // tag, sequence number, count
// A header holds a handful of segments; a file with more than this before its scan is no
// picture, only a way to keep the reader busy.
constexpr int kMaxHeaderSegments = 4096;

bool IsIccChunk(const JpegMarkerData& m) {
  return m.data && m.size >= kIccHead && std::memcmp(m.data, kIccTag, sizeof kIccTag) == 0;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

std::vector<uint8_t> AssembleJpegIccProfile(const std::vector<JpegMarkerData>& app2) {
  const JpegMarkerData* bySequence[256] = {};
  int count = 0, found = 0;
  size_t total = 0;
  for (const JpegMarkerData& m : app2) {
    if (!IsIccChunk(m)) continue;
    const int sequence = m.data[12], chunks = m.data[13];
    if (chunks == 0 || sequence == 0 || sequence > chunks) return {};
    if (count != 0 && chunks != count) return {};
    count = chunks;
    if (bySequence[sequence]) return {};
    bySequence[sequence] = &m;
    ++found;
    total += m.size - kIccHead;
    if (total > image::kMaxIccProfileBytes) return {};
  }
  if (found == 0 || found != count || total == 0) return {};
  std::vector<uint8_t> profile;
  profile.reserve(total);
  for (int i = 1; i <= count; ++i)
    profile.insert(profile.end(), bySequence[i]->data + kIccHead, bySequence[i]->data + bySequence[i]->size);
  return profile;
}

bool ProfileFitsRgbPixels(const std::vector<uint8_t>& profile) {
  constexpr size_t kColourSpaceAt = 16;  // the data colour space signature of the header
  if (profile.size() < kColourSpaceAt + 4) return false;
  const uint8_t* sig = profile.data() + kColourSpaceAt;
  return std::memcmp(sig, "RGB ", 4) == 0 || std::memcmp(sig, "GRAY", 4) == 0;
}

void KeepJpegIccMarkers(jpeg_decompress_struct* cinfo) {
  jpeg_save_markers(cinfo, JPEG_APP0 + 2, 0xFFFF);
}

std::vector<uint8_t> JpegIccProfile(const jpeg_decompress_struct* cinfo) {
  std::vector<JpegMarkerData> app2;
  for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next)
    if (m->marker == JPEG_APP0 + 2 && m->data) app2.push_back({m->data, m->data_length});
  std::vector<uint8_t> profile = AssembleJpegIccProfile(app2);
  if (!profile.empty() && !ProfileFitsRgbPixels(profile)) profile.clear();
  return profile;
}

std::vector<uint8_t> ReadJpegIccProfileFromFile(const char* path) {
  if (!path) return {};
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path, "rb"));
  if (!f) return {};
  uint8_t head[4];
  if (std::fread(head, 1, 2, f.get()) != 2 || head[0] != 0xFF || head[1] != 0xD8) return {};
  std::vector<std::vector<uint8_t>> payloads;
  size_t kept = 0;
  for (int segment = 0; segment < kMaxHeaderSegments; ++segment) {
    if (std::fread(head, 1, 2, f.get()) != 2 || head[0] != 0xFF) break;
    const uint8_t marker = head[1];
    if (marker == 0xFF) {  // fill byte: the marker code follows
      std::fseek(f.get(), -1, SEEK_CUR);
      continue;
    }
    if (marker == 0xDA || marker == 0xD9) break;                         // start of scan, end of image
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (std::fread(head + 2, 1, 2, f.get()) != 2) break;
    const size_t length = static_cast<size_t>(head[2] << 8 | head[3]);
    if (length < 2) break;
    const size_t body = length - 2;
    if (marker == 0xE2 && body >= kIccHead) {
      kept += body;
      if (kept > image::kMaxIccProfileBytes + 256 * kIccHead) return {};
      std::vector<uint8_t> p(body);
      if (std::fread(p.data(), 1, body, f.get()) != body) break;
      payloads.push_back(std::move(p));
    } else if (std::fseek(f.get(), static_cast<long>(body), SEEK_CUR) != 0) {
      break;
    }
  }
  std::vector<JpegMarkerData> app2;
  for (const auto& p : payloads) app2.push_back({p.data(), p.size()});
  std::vector<uint8_t> profile = AssembleJpegIccProfile(app2);
  if (!profile.empty() && !ProfileFitsRgbPixels(profile)) profile.clear();
  return profile;
}

std::vector<uint8_t> ReadWebpIccProfile(const uint8_t* data, size_t size) {
  if (!data || size == 0) return {};
  WebPData whole{data, size};
  WebPDemuxer* demux = WebPDemux(&whole);
  if (!demux) return {};
  std::vector<uint8_t> profile;
  if (WebPDemuxGetI(demux, WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG) {
    WebPChunkIterator it;
    if (WebPDemuxGetChunk(demux, "ICCP", 1, &it)) {
      if (it.chunk.bytes && it.chunk.size > 0 && it.chunk.size <= image::kMaxIccProfileBytes)
        profile.assign(it.chunk.bytes, it.chunk.bytes + it.chunk.size);
      WebPDemuxReleaseChunkIterator(&it);
    }
  }
  WebPDemuxDelete(demux);
  return profile;
}

}  // namespace vl::formats
