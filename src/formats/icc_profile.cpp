#include "formats/icc_profile.h"

#include <cstdio>
#include <cstring>

// jpeglib.h needs <cstdio> first.
#include <jpeglib.h>
#include <webp/demux.h>

#include "image/colour_management.h"

namespace vl::formats {
namespace {

constexpr uint8_t kIccTag[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
constexpr size_t kIccHead = sizeof kIccTag + 2;  // tag, sequence number, count

bool IsIccChunk(const JpegMarkerData& m) {
  return m.data && m.size >= kIccHead && std::memcmp(m.data, kIccTag, sizeof kIccTag) == 0;
}

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
