// A small reader of a JPEG file's marker sections and of the EXIF block in its APP1 section.
//
// The reader keeps its state process-wide (the section table, the EXIF record, the byte-order
// flag); every entry point below holds ExifLock() for its whole run. A caller that needs several
// calls to see the same state (ReadJpegFile, then FindSection) holds ExifLock() around them.
//
// Reports about malformed input go to standard error, each preceded by "exif: nonfatal\n";
// "too many padding bytes\n" and "No image in jpeg!\n" go to standard output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vl::formats {

inline constexpr int kMaxSections = 20;
inline constexpr int kMaxDateFields = 10;

// JPEG markers the section reader acts on.
inline constexpr int M_SOF0 = 0xC0;
inline constexpr int M_SOI = 0xD8;
inline constexpr int M_EOI = 0xD9;
inline constexpr int M_SOS = 0xDA;
inline constexpr int M_JFIF = 0xE0;
inline constexpr int M_EXIF = 0xE1;
inline constexpr int M_ICC = 0xE2;  // APP2, where ICC profiles travel
inline constexpr int M_COM = 0xFE;

struct JpegSection {
  int marker = 0;
  unsigned size = 0;          // the length field's value (counts its own two bytes)
  std::vector<uint8_t> data;  // the section's bytes, beginning with the two length bytes
};

struct ExifInfo {
  std::string cameraMake;   // at most 31 characters
  std::string cameraModel;  // at most 39 characters
  std::string dateTime;     // at most 19 characters
  int height = 0;
  int width = 0;
  int isColor = 0;
  int process = 0;      // the SOF marker
  int orientation = 0;  // 0-8, 0 when absent
  int flashUsed = -1;   // -1 unknown, 0 did not fire, 1 fired
  float focalLength = 0;
  float exposureTime = 0;
  float apertureFNumber = 0;
  float distance = 0;  // negative = infinity
  float ccdWidth = 0;
  float exposureBias = 0;
  float digitalZoomRatio = 0;
  int whitebalance = 0;
  int meteringMode = 0;
  int exposureProgram = 0;
  int exposureMode = 0;
  int isoEquivalent = 0;
  int lightSource = 0;
  int focalLength35mmEquiv = 0;
  int exifImageWidth = 0;
  double focalplaneXRes = 0;
  double focalplaneUnits = 0;  // millimetres per focal-plane resolution unit
  double exposureIndex = 0;
  std::string userComment;       // at most 199 characters (tag 0x9286)
  std::string comment;           // the first COM section's text, at most 199 characters
  unsigned thumbnailOffset = 0;  // relative to the TIFF header
  unsigned thumbnailSize = 0;
  unsigned largestExifOffset = 0;
  int numDateTimeTags = 0;
  unsigned dateTimeOffsets[kMaxDateFields] = {};  // relative to the TIFF header
};

// The lock held by every entry point of the reader (recursive).
std::recursive_mutex& ExifLock();

// Reads the sections of an open file up to the start-of-scan marker and parses the metadata.
// The table and record are cleared first. 1 on success, 0 on failure.
int ReadJpegSections(FILE* infile);
// Opens path ("rb") and reads its sections; on any failure every section is discarded.
int ReadJpegFile(const char* path);
// Frees every section and clears the EXIF record.
void DiscardData();
// The first section with the marker among all but the last one read, or null. The pointer is
// valid until the next read or DiscardData(); hold ExifLock() while using it.
const JpegSection* FindSection(int marker);
// The number of sections held.
int SectionCount();
// A copy of the current EXIF record.
ExifInfo CurrentExifInfo();

// A copy of the EXIF record of path, or null when the file has no EXIF APP1 section.
std::unique_ptr<ExifInfo> ReadExifInfo(const char* path);
// A copy of the JPEG thumbnail embedded in the EXIF block of path; empty when there is none.
// With iccProfile, also the file's ICC profile (its APP2 chunks, read with the same sections),
// which the thumbnail shares with the picture.
std::vector<uint8_t> ReadExifThumbnailData(const char* path, std::vector<uint8_t>* iccProfile = nullptr);

// Parses an EXIF APP1 section (s: the section's bytes from its length field, n bytes) into
// the current record. Used by the section reader; callable on its own with ExifLock() held.
void ProcessExif(const uint8_t* s, size_t n);

// Value readers honouring the byte order of the block being read (the process-wide flag; hold
// ExifLock() while another thread may be parsing).
void SetMotorolaOrder(bool bigEndian);
bool MotorolaOrder();
unsigned Get16u(const uint8_t* p);
unsigned Get32u(const uint8_t* p);
int32_t Get32s(const uint8_t* p);
// The first value of an EXIF format (1-12) as a double; 0 when fewer than one value's bytes
// are available or the format is unknown. Rationals with a zero denominator give 0.
double ConvertAnyFormat(const uint8_t* p, int format, size_t available);

// Orientation names by value 0-8.
const char* OrientationName(int orientation);

inline constexpr const char* kExifWindowTitle = "EXIF Informations";

// One line of the EXIF information window.
struct ExifLine {
  std::string label;
  std::string text;
};

// The window's lines after an update, in order. name is the file name shown; corrected says the
// application turned the shown picture upright on load.
std::vector<ExifLine> ExifWindowLines(const ExifInfo& info, const std::string& name, bool corrected);
// The labels of the window as it is first built (before any update).
std::vector<std::string> ExifWindowInitialLabels();

}  // namespace vl::formats
