#include "formats/exif.h"

#include <cmath>
#include <cstdarg>
#include <cstring>
#include <limits>
#include <new>

#include "formats/icc_profile.h"

namespace vl::formats {
namespace {

std::recursive_mutex g_exifLock;
std::vector<JpegSection> g_sections;
ExifInfo g_info;
bool g_motorola = false;
bool g_haveComment = false;
// The section whose EXIF block is being parsed, and the one that gave the thumbnail.
int g_currentSection = -1;
int g_thumbSection = -1;

// A legitimate block links a handful of directories (IFD0, EXIF, interoperability, IFD1);
// this bounds the work a block of directories linking to each other many times can cause.
constexpr int kMaxDirectoryWalks = 32;

constexpr int kBytesPerFormat[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};

enum Format {
  FMT_BYTE = 1,
  FMT_STRING = 2,
  FMT_USHORT = 3,
  FMT_ULONG = 4,
  FMT_URATIONAL = 5,
  FMT_SBYTE = 6,
  FMT_UNDEFINED = 7,
  FMT_SSHORT = 8,
  FMT_SLONG = 9,
  FMT_SRATIONAL = 10,
  FMT_SINGLE = 11,
  FMT_DOUBLE = 12,
};

enum Tag : unsigned {
  TAG_MAKE = 0x010F,
  TAG_MODEL = 0x0110,
  TAG_ORIENTATION = 0x0112,
  TAG_DATETIME = 0x0132,
  TAG_THUMBNAIL_OFFSET = 0x0201,
  TAG_THUMBNAIL_LENGTH = 0x0202,
  TAG_EXPOSURETIME = 0x829A,
  TAG_FNUMBER = 0x829D,
  TAG_EXIF_OFFSET = 0x8769,
  TAG_EXPOSURE_PROGRAM = 0x8822,
  TAG_GPSINFO = 0x8825,
  TAG_ISO_EQUIVALENT = 0x8827,
  TAG_DATETIME_ORIGINAL = 0x9003,
  TAG_DATETIME_DIGITIZED = 0x9004,
  TAG_SHUTTERSPEED = 0x9201,
  TAG_APERTURE = 0x9202,
  TAG_EXPOSURE_BIAS = 0x9204,
  TAG_MAXAPERTURE = 0x9205,
  TAG_SUBJECT_DISTANCE = 0x9206,
  TAG_METERING_MODE = 0x9207,
  TAG_LIGHT_SOURCE = 0x9208,
  TAG_FLASH = 0x9209,
  TAG_FOCALLENGTH = 0x920A,
  TAG_MAKER_NOTE = 0x927C,
  TAG_USERCOMMENT = 0x9286,
  TAG_EXIF_IMAGEWIDTH = 0xA002,
  TAG_EXIF_IMAGELENGTH = 0xA003,
  TAG_INTEROP_OFFSET = 0xA005,
  TAG_FOCAL_PLANE_XRES = 0xA20E,
  TAG_FOCAL_PLANE_UNITS = 0xA210,
  TAG_EXPOSURE_INDEX = 0xA215,
  TAG_EXPOSURE_MODE = 0xA402,
  TAG_WHITEBALANCE = 0xA403,
  TAG_DIGITALZOOMRATIO = 0xA404,
  TAG_FOCALLENGTH_35MM = 0xA405,
};

const char* const kOrientationNames[] = {"Undefined", "Normal",    "Flip horizontal", "Rotate 180", "Flip vertical",
                                         "Transpose", "Rotate 90", "Transverse",      "Rotate 270"};

// A non-fatal report on standard error.
__attribute__((format(printf, 1, 2))) void Report(const char* fmt, ...) {
  char buf[256];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  std::fputs("exif: nonfatal\n", stderr);
  std::fputs(buf, stderr);
  size_t n = std::strlen(buf);
  if (n == 0 || buf[n - 1] != '\n') std::fputc('\n', stderr);
}

// Double to int without undefined conversions: NaN gives 0, out-of-range values saturate.
int ToInt(double v) {
  if (std::isnan(v)) return 0;
  if (v >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  if (v <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  return static_cast<int>(v);
}

unsigned ToUnsigned(double v) {
  if (std::isnan(v) || v <= 0) return 0;
  if (v >= static_cast<double>(std::numeric_limits<unsigned>::max())) return std::numeric_limits<unsigned>::max();
  return static_cast<unsigned>(v);
}

float ToFloat(double v) {
  if (std::isnan(v)) return 0;
  if (v > std::numeric_limits<float>::max()) return std::numeric_limits<float>::max();
  if (v < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::max();
  return static_cast<float>(v);
}

// Text of at most max characters from n bytes, stopping at a NUL. Cameras pad their texts
// to a fixed size with blanks (or blanks and NULs); the padding is dropped.
std::string CopyText(const uint8_t* p, size_t n, size_t max) {
  size_t len = 0;
  while (len < n && len < max && p[len] != 0) ++len;
  while (len > 0 && p[len - 1] == ' ') --len;
  return std::string(reinterpret_cast<const char*>(p), len);
}

bool StartsWithDigit(const std::string& s) {
  return !s.empty() && s[0] >= '0' && s[0] <= '9';
}

struct Walk {
  const uint8_t* base;
  size_t length;
  int walks = 0;  // directories entered, counting those refused by the nesting limit
  bool aborted = false;
};

void ProcessExifDir(Walk& w, uint64_t dirStart, int nestingLevel) {
  if (w.aborted) return;
  if (++w.walks > kMaxDirectoryWalks) {
    Report("Maximum directory nesting exceeded (corrupt exif header)");
    w.aborted = true;
    return;
  }
  if (nestingLevel > 4) {
    Report("Maximum directory nesting exceeded (corrupt exif header)");
    return;
  }
  const uint64_t length = w.length;
  if (dirStart + 2 > length) {
    Report("Illegally sized directory");
    return;
  }
  const unsigned numEntries = Get16u(w.base + dirStart);
  const uint64_t dirEnd = dirStart + 2 + 12ull * numEntries;
  if (dirEnd + 4 > length && dirEnd != length && dirEnd + 2 != length) {
    Report("Illegally sized directory");
    return;
  }

  unsigned thumbnailOffset = 0;
  unsigned thumbnailSize = 0;

  for (unsigned de = 0; de < numEntries && !w.aborted; ++de) {
    const uint8_t* entry = w.base + dirStart + 2 + 12ull * de;
    const unsigned tag = Get16u(entry);
    const unsigned format = Get16u(entry + 2);
    const unsigned components = Get32u(entry + 4);

    if (format < 1 || format > 12) {
      Report("Illegal number format %d for tag %04x", static_cast<int>(format), tag);
      continue;
    }
    if (components >= 0x10000) {
      Report("Illegal number of components %d for tag %04x", static_cast<int>(components), tag);
      continue;
    }
    const uint64_t byteCount = uint64_t{components} * kBytesPerFormat[format];
    uint64_t valueOffset;
    if (byteCount > 4) {
      const unsigned offsetVal = Get32u(entry + 8);
      if (uint64_t{offsetVal} + byteCount > length) {
        Report("Illegal value pointer for tag %04x", tag);
        continue;
      }
      valueOffset = offsetVal;
      if (offsetVal > g_info.largestExifOffset) g_info.largestExifOffset = offsetVal;
    } else {
      valueOffset = static_cast<uint64_t>(entry + 8 - w.base);
    }
    const uint8_t* value = w.base + valueOffset;
    const size_t count = static_cast<size_t>(byteCount);
    // A value held in the entry always has its four bytes readable.
    const size_t readable = count > 4 ? count : 4;
    auto number = [&]() { return ConvertAnyFormat(value, static_cast<int>(format), readable); };

    switch (tag) {
      case TAG_MAKE: g_info.cameraMake = CopyText(value, count, 31); break;
      case TAG_MODEL: g_info.cameraModel = CopyText(value, count, 39); break;
      case TAG_DATETIME_ORIGINAL:
      case TAG_DATETIME_DIGITIZED:
      case TAG_DATETIME:
        if (g_info.numDateTimeTags >= kMaxDateFields) {
          Report("More than allowed date fields (%d)!  This is nuts", kMaxDateFields);
          break;
        }
        if (tag == TAG_DATETIME_ORIGINAL || !StartsWithDigit(g_info.dateTime))
          g_info.dateTime = CopyText(value, count, 19);
        g_info.dateTimeOffsets[g_info.numDateTimeTags++] = static_cast<unsigned>(valueOffset);
        break;
      case TAG_USERCOMMENT: {
        size_t n = count;
        while (n > 0 && value[n - 1] == ' ') --n;
        if (n >= 5 && std::memcmp(value, "ASCII", 5) == 0)
          g_info.userComment = n > 8 ? CopyText(value + 8, n - 8, 199) : std::string();
        else
          g_info.userComment = CopyText(value, n, 199);
        break;
      }
      case TAG_FNUMBER: g_info.apertureFNumber = ToFloat(number()); break;
      case TAG_APERTURE:
      case TAG_MAXAPERTURE:
        if (g_info.apertureFNumber == 0) g_info.apertureFNumber = ToFloat(std::exp(number() * std::log(2.0) * 0.5));
        break;
      case TAG_FOCALLENGTH: g_info.focalLength = ToFloat(number()); break;
      case TAG_SUBJECT_DISTANCE: g_info.distance = ToFloat(number()); break;
      case TAG_EXPOSURETIME: g_info.exposureTime = ToFloat(number()); break;
      case TAG_SHUTTERSPEED:
        if (g_info.exposureTime == 0) g_info.exposureTime = ToFloat(1.0 / std::exp(number() * std::log(2.0)));
        break;
      case TAG_FLASH:
        // A bit field: bit 0 says whether the flash fired.
        g_info.flashUsed = (static_cast<unsigned>(ToInt(number())) & 1u) ? 1 : 0;
        break;
      case TAG_ORIENTATION:
        g_info.orientation = ToInt(number());
        if (g_info.orientation < 1 || g_info.orientation > 8) {
          Report("Undefined rotation value %d", g_info.orientation);
          g_info.orientation = 0;
        }
        break;
      case TAG_EXIF_IMAGELENGTH:
      case TAG_EXIF_IMAGEWIDTH: {
        int a = ToInt(number());
        if (g_info.exifImageWidth < a) g_info.exifImageWidth = a;
        break;
      }
      case TAG_FOCAL_PLANE_XRES: g_info.focalplaneXRes = number(); break;
      case TAG_FOCAL_PLANE_UNITS:
        switch (ToInt(number())) {
          case 1: g_info.focalplaneUnits = 25.4; break;  // no unit given: taken as inch
          case 2: g_info.focalplaneUnits = 25.4; break;  // inch
          case 3: g_info.focalplaneUnits = 10; break;    // centimetre
          case 4: g_info.focalplaneUnits = 1; break;     // millimetre
          case 5: g_info.focalplaneUnits = .001; break;  // micrometre
          default: break;
        }
        break;
      case TAG_EXPOSURE_BIAS: g_info.exposureBias = ToFloat(number()); break;
      case TAG_WHITEBALANCE: g_info.whitebalance = ToInt(number()); break;
      case TAG_LIGHT_SOURCE: g_info.lightSource = ToInt(number()); break;
      case TAG_METERING_MODE: g_info.meteringMode = ToInt(number()); break;
      case TAG_EXPOSURE_PROGRAM: g_info.exposureProgram = ToInt(number()); break;
      case TAG_EXPOSURE_INDEX: g_info.exposureIndex = number(); break;
      case TAG_EXPOSURE_MODE: g_info.exposureMode = ToInt(number()); break;
      case TAG_ISO_EQUIVALENT: g_info.isoEquivalent = ToInt(number()); break;
      case TAG_DIGITALZOOMRATIO: g_info.digitalZoomRatio = ToFloat(number()); break;
      case TAG_FOCALLENGTH_35MM: g_info.focalLength35mmEquiv = ToInt(number()); break;
      case TAG_THUMBNAIL_OFFSET: thumbnailOffset = ToUnsigned(number()); break;
      case TAG_THUMBNAIL_LENGTH: thumbnailSize = ToUnsigned(number()); break;
      case TAG_EXIF_OFFSET:
      case TAG_INTEROP_OFFSET: {
        const unsigned link = Get32u(value);
        if (link > length)
          Report("Illegal exif or interop ofset directory link");
        else
          ProcessExifDir(w, link, nestingLevel + 1);
        break;
      }
      case TAG_GPSINFO:
        if (Get32u(value) > length) Report("Illegal GPS directory link");
        break;
      case TAG_MAKER_NOTE: break;
      default: break;
    }
  }

  // The link to a following directory (the second one holds the thumbnail tags).
  if (!w.aborted && dirEnd + 4 <= length) {
    const unsigned link = Get32u(w.base + dirEnd);
    if (link != 0) {
      if (link < length) ProcessExifDir(w, link, nestingLevel + 1);
      if (link > g_info.largestExifOffset) g_info.largestExifOffset = link;
    }
  }

  if (thumbnailOffset != 0 && thumbnailOffset < length) {
    const uint64_t behind = length - thumbnailOffset;
    g_info.thumbnailOffset = thumbnailOffset;
    g_info.thumbnailSize = thumbnailSize > behind ? static_cast<unsigned>(behind) : thumbnailSize;
    g_thumbSection = g_currentSection;
  }
}

void ProcessSOFn(const JpegSection& s) {
  if (s.data.size() < 8) return;
  const uint8_t* d = s.data.data();
  g_info.height = (d[3] << 8) | d[4];
  g_info.width = (d[5] << 8) | d[6];
  g_info.isColor = d[7] == 3 ? 1 : 0;
  g_info.process = s.marker;
}

void ProcessCOM(const JpegSection& s) {
  std::string text;
  const std::vector<uint8_t>& d = s.data;
  for (size_t a = 2; a < d.size() && text.size() < 199; ++a) {
    uint8_t ch = d[a];
    if (ch == '\r' && a + 1 < d.size() && d[a + 1] == '\n') continue;  // CR before LF
    text += (ch >= 32 || ch == '\n' || ch == '\t') ? static_cast<char>(ch) : '?';
  }
  g_info.comment = text;
}

void ClearLocked() {
  g_sections.clear();
  g_sections.shrink_to_fit();
  g_info = ExifInfo();
  g_motorola = false;
  g_haveComment = false;
  g_currentSection = -1;
  g_thumbSection = -1;
}

bool IsSOF(int marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

int ReadSectionsLocked(FILE* infile) {
  if (!infile) return 0;
  int a = std::fgetc(infile);
  int b = std::fgetc(infile);
  if (a != 0xFF || b != M_SOI) return 0;

  for (;;) {
    if (static_cast<int>(g_sections.size()) >= kMaxSections) {
      Report("Too many sections in jpg file\n");
      return 0;
    }
    int marker = 0;
    for (int i = 0; i < 7; ++i) {
      marker = std::fgetc(infile);
      if (marker != 0xFF) break;
      if (i >= 6) {
        std::fputs("too many padding bytes\n", stdout);
        return 0;
      }
    }
    // The end-of-image marker has no length field.
    if (marker == M_EOI) {
      std::fputs("No image in jpeg!\n", stdout);
      return 0;
    }
    const int lh = std::fgetc(infile);
    const int ll = std::fgetc(infile);
    const int itemlen = (marker == EOF || lh == EOF || ll == EOF) ? -1 : (lh << 8) | ll;
    if (itemlen < 2) {
      Report("invalid marker(%d)\n", itemlen);
      return 0;
    }
    JpegSection section;
    section.marker = marker;
    section.size = static_cast<unsigned>(itemlen);
    try {
      section.data.resize(static_cast<size_t>(itemlen));
    } catch (const std::bad_alloc&) {
      Report("Could not allocate memory(%d)\n", itemlen);
      return 0;
    }
    section.data[0] = static_cast<uint8_t>(lh);
    section.data[1] = static_cast<uint8_t>(ll);
    const size_t want = static_cast<size_t>(itemlen) - 2;
    const size_t got = std::fread(section.data.data() + 2, 1, want, infile);
    if (got != want) {
      Report("Premature end of file?(%d vs %d)\n", static_cast<int>(got), static_cast<int>(want));
      return 0;
    }
    g_sections.push_back(std::move(section));
    const JpegSection& s = g_sections.back();

    if (IsSOF(marker)) {
      ProcessSOFn(s);
      continue;
    }
    switch (marker) {
      case M_SOS: return 1;
      case M_JFIF: g_sections.pop_back(); break;
      case M_EXIF:
        if (s.data.size() >= 6 && std::memcmp(s.data.data() + 2, "Exif", 4) == 0) {
          g_currentSection = static_cast<int>(g_sections.size()) - 1;
          ProcessExif(s.data.data(), s.data.size());
          g_currentSection = -1;
        } else {
          g_sections.pop_back();
        }
        break;
      case M_COM:
        if (g_haveComment) {
          g_sections.pop_back();
        } else {
          ProcessCOM(s);
          g_haveComment = true;
        }
        break;
      default: break;
    }
  }
}

}  // namespace

std::recursive_mutex& ExifLock() {
  return g_exifLock;
}

void SetMotorolaOrder(bool bigEndian) {
  std::lock_guard<std::recursive_mutex> lock(g_exifLock);
  g_motorola = bigEndian;
}

bool MotorolaOrder() {
  std::lock_guard<std::recursive_mutex> lock(g_exifLock);
  return g_motorola;
}

unsigned Get16u(const uint8_t* p) {
  return g_motorola ? (unsigned{p[0]} << 8) | p[1] : (unsigned{p[1]} << 8) | p[0];
}

unsigned Get32u(const uint8_t* p) {
  if (g_motorola) return (unsigned{p[0]} << 24) | (unsigned{p[1]} << 16) | (unsigned{p[2]} << 8) | p[3];
  return (unsigned{p[3]} << 24) | (unsigned{p[2]} << 16) | (unsigned{p[1]} << 8) | p[0];
}

int32_t Get32s(const uint8_t* p) {
  return static_cast<int32_t>(Get32u(p));
}

double ConvertAnyFormat(const uint8_t* p, int format, size_t available) {
  if (format < 1 || format > 12 || available < static_cast<size_t>(kBytesPerFormat[format])) return 0;
  switch (format) {
    case FMT_SBYTE: return static_cast<int8_t>(p[0]);
    case FMT_BYTE: return p[0];
    case FMT_USHORT: return Get16u(p);
    case FMT_ULONG: return Get32u(p);
    case FMT_URATIONAL:
    case FMT_SRATIONAL: {
      // Both rationals read signed, so that 0xFFFFFFFF (the usual "infinite") is negative.
      const int32_t num = Get32s(p);
      const int32_t den = Get32s(p + 4);
      return den == 0 ? 0.0 : static_cast<double>(num) / den;
    }
    case FMT_SSHORT: return static_cast<int16_t>(Get16u(p));
    case FMT_SLONG: return Get32s(p);
    case FMT_SINGLE: {
      const uint32_t bits = Get32u(p);
      float f;
      std::memcpy(&f, &bits, sizeof f);
      return f;
    }
    case FMT_DOUBLE: {
      const uint64_t hi = Get32u(g_motorola ? p : p + 4);
      const uint64_t lo = Get32u(g_motorola ? p + 4 : p);
      const uint64_t bits = (hi << 32) | lo;
      double d;
      std::memcpy(&d, &bits, sizeof d);
      return d;
    }
    default: return 0;  // text and undefined bytes have no number
  }
}

void ProcessExif(const uint8_t* s, size_t n) {
  std::lock_guard<std::recursive_mutex> lock(g_exifLock);
  if (n < 16 || std::memcmp(s + 2, "Exif\0\0", 6) != 0) {
    Report("Incorrect Exif header");
    return;
  }
  if (std::memcmp(s + 8, "II", 2) == 0) {
    g_motorola = false;
  } else if (std::memcmp(s + 8, "MM", 2) == 0) {
    g_motorola = true;
  } else {
    Report("Invalid Exif alignment marker.");
    return;
  }
  if (Get16u(s + 10) != 42) {
    Report("Invalid Exif start (1)");
    return;
  }
  const unsigned firstOffset = Get32u(s + 12);
  if (firstOffset < 8 || firstOffset > 16) Report("Suspicious offset of first IFD value");

  // Offsets are relative to the TIFF header 8 bytes in; the block is what follows it.
  Walk w{s + 8, n - 8};
  ProcessExifDir(w, firstOffset, 0);

  if (g_info.focalplaneXRes != 0)
    g_info.ccdWidth = ToFloat(g_info.exifImageWidth * g_info.focalplaneUnits / g_info.focalplaneXRes);
  if (g_info.focalLength != 0 && g_info.ccdWidth != 0 && g_info.focalLength35mmEquiv == 0)
    g_info.focalLength35mmEquiv = ToInt(g_info.focalLength / g_info.ccdWidth * 36 + 0.5);
}

int ReadJpegSections(FILE* infile) {
  std::lock_guard<std::recursive_mutex> lock(g_exifLock);
  ClearLocked();
  return ReadSectionsLocked(infile);
}

int ReadJpegFile(const char* path) {
  std::lock_guard<std::recursive_mutex> lock(g_exifLock);
  ClearLocked();
  FILE* f = path ? std::fopen(path, "rb") : nullptr;
  if (!f) {
    std::fprintf(stderr, "can't open '%s'\n", path ? path : "");
    return 0;
  }
  int ok = ReadSectionsLocked(f);
  std::fclose(f);
  if (!ok) ClearLocked();
  return ok;
}

void DiscardData() {
  std::lock_guard<std::recursive_mutex> lock(g_exifLock);
  ClearLocked();
}

const JpegSection* FindSection(int marker) {
  std::lock_guard<std::recursive_mutex> lock(g_exifLock);
  for (size_t i = 0; i + 1 < g_sections.size(); ++i)
    if (g_sections[i].marker == marker) return &g_sections[i];
  return nullptr;
}

int SectionCount() {
  std::lock_guard<std::recursive_mutex> lock(g_exifLock);
  return static_cast<int>(g_sections.size());
}

ExifInfo CurrentExifInfo() {
  std::lock_guard<std::recursive_mutex> lock(g_exifLock);
  return g_info;
}

std::unique_ptr<ExifInfo> ReadExifInfo(const char* path) {
  std::lock_guard<std::recursive_mutex> lock(g_exifLock);
  std::unique_ptr<ExifInfo> copy;
  if (ReadJpegFile(path) && FindSection(M_EXIF)) copy = std::make_unique<ExifInfo>(g_info);
  ClearLocked();
  return copy;
}

std::vector<uint8_t> ReadExifThumbnailData(const char* path, std::vector<uint8_t>* iccProfile) {
  std::lock_guard<std::recursive_mutex> lock(g_exifLock);
  std::vector<uint8_t> bytes;
  const bool read = ReadJpegFile(path);
  if (read && iccProfile) {
    std::vector<JpegMarkerData> app2;
    for (const JpegSection& section : g_sections)
      if (section.marker == M_ICC && section.data.size() > 2)
        app2.push_back({section.data.data() + 2, section.data.size() - 2});
    *iccProfile = AssembleJpegIccProfile(app2);
    if (!ProfileFitsRgbPixels(*iccProfile)) iccProfile->clear();
  }
  if (read && g_info.thumbnailSize != 0 && g_thumbSection >= 0 &&
      g_thumbSection < static_cast<int>(g_sections.size())) {
    const std::vector<uint8_t>& d = g_sections[static_cast<size_t>(g_thumbSection)].data;
    const uint64_t start = 8 + uint64_t{g_info.thumbnailOffset};
    const uint64_t end = start + g_info.thumbnailSize;
    if (end <= d.size())
      bytes.assign(d.begin() + static_cast<ptrdiff_t>(start), d.begin() + static_cast<ptrdiff_t>(end));
  }
  ClearLocked();
  return bytes;
}

const char* OrientationName(int orientation) {
  return (orientation >= 0 && orientation <= 8) ? kOrientationNames[orientation] : kOrientationNames[0];
}

namespace {
__attribute__((format(printf, 1, 2))) std::string Printf(const char* fmt, ...) {
  char buf[128];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  return buf;
}
}  // namespace

std::vector<ExifLine> ExifWindowLines(const ExifInfo& info, const std::string& name, bool corrected) {
  std::vector<ExifLine> lines;
  lines.push_back({"Name:", name});
  lines.push_back({"Date:", info.dateTime.empty() ? std::string("---") : info.dateTime});
  if (!info.cameraModel.empty()) lines.push_back({"Camera:", info.cameraModel});
  lines.push_back({"Flash:", info.flashUsed == -1 ? "---" : info.flashUsed == 0 ? "No" : "Yes"});
  lines.push_back({"Focal length:", info.focalLength != 0 ? Printf("%.1fmm", info.focalLength) : "---"});
  lines.push_back({"Exposire time:", info.exposureTime != 0 ? Printf("%.3fs", info.exposureTime) : "---"});
  lines.push_back({"Aperture:", info.apertureFNumber != 0 ? Printf("f/%3.1fs", info.apertureFNumber) : "---"});
  std::string distance = "---";
  if (info.distance > 0)
    distance = Printf("%4.2fm\n", info.distance);
  else if (info.distance < 0)
    distance = "Infinite";
  lines.push_back({"Distance:", distance});
  std::string orientation = "Not available";
  if (info.orientation >= 1 && info.orientation <= 8) {
    orientation = OrientationName(info.orientation);
    if (corrected) orientation += " (corrected)";
  }
  lines.push_back({"Orientation:", orientation});
  return lines;
}

std::vector<std::string> ExifWindowInitialLabels() {
  return {"Name:",          "Date:",     "Camera:",   "Flash:",      "Focal length:",
          "Exposure time:", "Aperture:", "Distance:", "Orientation:"};
}

}  // namespace vl::formats
