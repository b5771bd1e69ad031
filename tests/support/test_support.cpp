#include "test_support.h"

#include <lcms2.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "formats/jpeg_codec.h"

namespace vl::test {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "vistaloom-test-XXXXXX").string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (::mkdtemp(buf.data())) path_ = buf.data();
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void PoolTest::SetUp() {
  image::CreatePool();
  blocksAtStart_ = image::PoolBlockCount();
}

void PoolTest::TearDown() {
  EXPECT_EQ(image::PoolBlockCount(), blocksAtStart_) << "pixel blocks leaked";
}

int RunCommand(const std::string& command, std::string& output, bool captureStderr) {
  output.clear();
  std::string cmd = command + (captureStderr ? " 2>&1" : "");
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) output.append(buf, n);
  int status = ::pclose(p);
  if (status == -1) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(f);
}

bool WriteFile(const std::string& path, const std::string& data) {
  return WriteFile(path, std::vector<uint8_t>(data.begin(), data.end()));
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

image::ChunkyImage* RandomImage(int width, int height, uint32_t format, uint32_t seed) {
  image::ChunkyImage* c = image::chk_Create(width, height, format, false);
  if (!c) return nullptr;
  uint32_t s = seed * 2654435761u + 1;
  size_t n = image::BufferBytes(width, height, format);
  for (size_t i = 0; i < n; ++i) {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    c->pixels[i] = static_cast<uint8_t>(s >> 24);
  }
  return c;
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
  const char* old = std::getenv(name);
  had_ = old != nullptr;
  if (old) old_ = old;
  ::setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (had_)
    ::setenv(name_.c_str(), old_.c_str(), 1);
  else
    ::unsetenv(name_.c_str());
}

// Writes a w x h JPEG whose EXIF block holds the orientation tag.
bool WriteJpegWithOrientation(const std::string& path, int w, int h, int orientation) {
  image::ChunkyPtr img(RandomImage(w, h, image::ARGB32, 3));
  if (formats::SaveJPEG(img.get(), path.c_str(), 90, false, false) != 1) return false;
  std::vector<uint8_t> jpeg = ReadFile(path);
  if (jpeg.size() < 4) return false;
  // APP1: "Exif\0\0", a big-endian TIFF header and one IFD with the orientation (SHORT).
  std::vector<uint8_t> tiff = {'M',  'M',  0, 42, 0, 0, 0, 8,  // header, IFD at 8
                               0,    1,                        // one entry
                               0x01, 0x12, 0, 3,  0, 0, 0, 1, 0, static_cast<uint8_t>(orientation),
                               0,    0,    0, 0,  0, 0};  // no next IFD
  std::vector<uint8_t> body = {'E', 'x', 'i', 'f', 0, 0};
  body.insert(body.end(), tiff.begin(), tiff.end());
  const size_t len = body.size() + 2;
  std::vector<uint8_t> out = {0xFF, 0xD8, 0xFF, 0xE1, static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len)};
  out.insert(out.end(), body.begin(), body.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return WriteFile(path, out);
}

namespace {

void Put(std::vector<uint8_t>& v, size_t at, uint32_t value, int width, bool motorola) {
  for (int i = 0; i < width; ++i) v[at + i] = static_cast<uint8_t>(value >> (motorola ? 8 * (width - 1 - i) : 8 * i));
}

void Entry(std::vector<uint8_t>& v, size_t at, unsigned tag, unsigned type, uint32_t count, uint32_t value,
           bool motorola) {
  Put(v, at, tag, 2, motorola);
  Put(v, at + 2, type, 2, motorola);
  Put(v, at + 4, count, 4, motorola);
  // A SHORT held in the entry sits in its first two bytes.
  if (type == 3 && count == 1)
    Put(v, at + 8, value, 2, motorola);
  else
    Put(v, at + 8, value, 4, motorola);
}

}  // namespace

std::vector<uint8_t> MakeExifBlock(bool motorola, int orientation, const std::string& make, bool withThumbnail) {
  // TIFF offsets: header 8, main directory at 8, thumbnail directory behind it, then the data.
  const unsigned mainEntries = orientation > 0 ? 2 : 1;
  const size_t mainSize = 2 + 12 * mainEntries + 4;
  const size_t thumbDir = 8 + mainSize;
  const size_t thumbSize = withThumbnail ? 2 + 12 * 2 + 4 : 0;
  const size_t makeAt = thumbDir + thumbSize;
  const std::vector<uint8_t> thumbnail = {0xFF, 0xD8, 0xFF, 0xD9};
  const size_t thumbAt = makeAt + make.size() + 1;
  std::vector<uint8_t> tiff(thumbAt + (withThumbnail ? thumbnail.size() : 0), 0);
  tiff[0] = tiff[1] = motorola ? 'M' : 'I';
  Put(tiff, 2, 42, 2, motorola);
  Put(tiff, 4, 8, 4, motorola);
  Put(tiff, 8, mainEntries, 2, motorola);
  Entry(tiff, 10, 0x010F, 2, static_cast<uint32_t>(make.size() + 1), static_cast<uint32_t>(makeAt), motorola);
  if (orientation > 0) Entry(tiff, 22, 0x0112, 3, 1, static_cast<uint32_t>(orientation), motorola);
  Put(tiff, 8 + 2 + 12 * mainEntries, withThumbnail ? static_cast<uint32_t>(thumbDir) : 0, 4, motorola);
  if (withThumbnail) {
    Put(tiff, thumbDir, 2, 2, motorola);
    Entry(tiff, thumbDir + 2, 0x0201, 4, 1, static_cast<uint32_t>(thumbAt), motorola);
    Entry(tiff, thumbDir + 14, 0x0202, 4, 1, static_cast<uint32_t>(thumbnail.size()), motorola);
    std::copy(thumbnail.begin(), thumbnail.end(), tiff.begin() + static_cast<std::ptrdiff_t>(thumbAt));
  }
  std::copy(make.begin(), make.end(), tiff.begin() + static_cast<std::ptrdiff_t>(makeAt));
  std::vector<uint8_t> block = {'E', 'x', 'i', 'f', 0, 0};
  block.insert(block.end(), tiff.begin(), tiff.end());
  return block;
}

std::vector<uint8_t> SrgbIccProfile() {
  cmsHPROFILE profile = cmsCreate_sRGBProfile();
  cmsUInt32Number size = 0;
  std::vector<uint8_t> bytes;
  if (profile && cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
    bytes.resize(size);
    if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) bytes.clear();
  }
  if (profile) cmsCloseProfile(profile);
  return bytes;
}

bool WriteJpegWithMetadata(const std::string& path, int w, int h, const std::vector<uint8_t>& exif,
                           const std::vector<uint8_t>& icc) {
  image::ChunkyPtr img(RandomImage(w, h, image::RGB24, 5));
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!img || !f) {
    if (f) std::fclose(f);
    return false;
  }
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = static_cast<JDIMENSION>(w);
  cinfo.image_height = static_cast<JDIMENSION>(h);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  cinfo.write_JFIF_header = FALSE;  // as a camera writes: SOI, then the EXIF block
  jpeg_start_compress(&cinfo, TRUE);
  if (!exif.empty()) jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
  if (!icc.empty()) jpeg_write_icc_profile(&cinfo, icc.data(), static_cast<unsigned>(icc.size()));
  for (int y = 0; y < h; ++y) {
    JSAMPROW row = img->pixels + static_cast<size_t>(y) * w * 3;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return std::fclose(f) == 0;
}

std::vector<uint8_t> JpegIccProfile(const std::string& path) {
  std::vector<uint8_t> file = ReadFile(path);
  std::vector<uint8_t> out;
  if (file.empty()) return out;
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&cinfo, TRUE);
  JOCTET* data = nullptr;
  unsigned int size = 0;
  if (jpeg_read_icc_profile(&cinfo, &data, &size) && data) out.assign(data, data + size);
  std::free(data);
  jpeg_destroy_decompress(&cinfo);
  return out;
}

std::vector<uint8_t> PngIccProfile(const std::string& path) {
  std::vector<uint8_t> out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (png && info && !setjmp(png_jmpbuf(png))) {
    png_init_io(png, f);
    png_read_info(png, info);
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &length) && profile)
      out.assign(profile, profile + length);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return out;
}

}  // namespace vl::test

namespace vl::test {
namespace {

// A little-endian TIFF directory entry whose value bytes are laid out by the writer.
struct TiffEntry {
  uint16_t tag;
  uint16_t type;  // 1 BYTE, 2 ASCII, 3 SHORT, 4 LONG, 5 RATIONAL, 10 SRATIONAL
  uint32_t count;
  std::vector<uint8_t> value;
};

void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}
TiffEntry Short(uint16_t tag, std::vector<uint32_t> values) {
  TiffEntry e{tag, 3, static_cast<uint32_t>(values.size()), {}};
  for (uint32_t x : values) Put16(e.value, x);
  return e;
}
TiffEntry Long(uint16_t tag, uint32_t value) {
  TiffEntry e{tag, 4, 1, {}};
  Put32(e.value, value);
  return e;
}
TiffEntry Bytes(uint16_t tag, std::vector<uint8_t> values) {
  return TiffEntry{tag, 1, static_cast<uint32_t>(values.size()), std::move(values)};
}
TiffEntry Ascii(uint16_t tag, const std::string& text) {
  std::vector<uint8_t> v(text.begin(), text.end());
  v.push_back(0);
  return TiffEntry{tag, 2, static_cast<uint32_t>(v.size()), v};
}
TiffEntry Rationals(uint16_t tag, uint16_t type, const std::vector<double>& values) {
  TiffEntry e{tag, type, static_cast<uint32_t>(values.size()), {}};
  for (double x : values) {
    Put32(e.value, static_cast<uint32_t>(static_cast<int32_t>(x * 10000 + (x < 0 ? -0.5 : 0.5))));
    Put32(e.value, 10000);
  }
  return e;
}

size_t DirectoryBytes(const std::vector<TiffEntry>& ifd) {
  size_t n = 2 + ifd.size() * 12 + 4;
  for (const TiffEntry& e : ifd)
    if (e.value.size() > 4) n += (e.value.size() + 1) & ~size_t{1};
  return n;
}

// Writes the directory at out.size() (its overflow values after it).
void WriteDirectory(std::vector<uint8_t>& out, std::vector<TiffEntry> ifd) {
  std::sort(ifd.begin(), ifd.end(), [](const TiffEntry& a, const TiffEntry& b) { return a.tag < b.tag; });
  size_t extra = out.size() + 2 + ifd.size() * 12 + 4;
  std::vector<uint8_t> overflow;
  Put16(out, static_cast<uint32_t>(ifd.size()));
  for (const TiffEntry& e : ifd) {
    Put16(out, e.tag);
    Put16(out, e.type);
    Put32(out, e.count);
    if (e.value.size() <= 4) {
      std::vector<uint8_t> v = e.value;
      v.resize(4, 0);
      out.insert(out.end(), v.begin(), v.end());
    } else {
      Put32(out, static_cast<uint32_t>(extra + overflow.size()));
      overflow.insert(overflow.end(), e.value.begin(), e.value.end());
      if (overflow.size() & 1) overflow.push_back(0);
    }
  }
  Put32(out, 0);
  out.insert(out.end(), overflow.begin(), overflow.end());
}

}  // namespace

std::vector<uint8_t> MakeTestDng(const TestDng& spec) {
  std::vector<uint8_t> jpeg;
  if (spec.previewWidth > 0 && spec.previewHeight > 0) {
    TempDir dir;
    image::ChunkyPtr img(image::chk_Create(spec.previewWidth, spec.previewHeight, image::ARGB32, false));
    if (!img) return {};
    for (int64_t i = 0, n = int64_t{spec.previewWidth} * spec.previewHeight; i < n; ++i) {
      uint8_t* p = img->pixels + i * 4;
      p[0] = 255, p[1] = spec.previewColor[0], p[2] = spec.previewColor[1], p[3] = spec.previewColor[2];
    }
    if (formats::SaveJPEG(img.get(), dir.file("p.jpg").c_str(), 95, false, true) != 1) return {};
    jpeg = ReadFile(dir.file("p.jpg"));
  }
  std::vector<uint8_t> mosaic;
  for (int y = 0; y < spec.height; ++y)
    for (int x = 0; x < spec.width; ++x)
      Put16(mosaic, (y & 1) == 0 ? ((x & 1) == 0 ? spec.red : spec.green) : ((x & 1) == 0 ? spec.green : spec.blue));

  auto w = static_cast<uint32_t>(spec.width), h = static_cast<uint32_t>(spec.height);
  std::vector<TiffEntry> raw = {Long(254, 0),
                                Long(256, w),
                                Long(257, h),
                                Short(258, {16}),
                                Short(259, {1}),
                                Short(262, {32803}),
                                Long(273, 0),
                                Short(277, {1}),
                                Long(278, h),
                                Long(279, static_cast<uint32_t>(mosaic.size())),
                                Short(284, {1}),
                                Short(0x828D, {2, 2}),
                                Bytes(0x828E, {0, 1, 1, 2})};
  if (spec.dngVersion) raw.push_back(Short(0xC61D, {4095}));
  std::vector<TiffEntry> first = {Ascii(271, spec.make), Ascii(272, "Mosaic 1"),
                                  Short(274, {static_cast<uint32_t>(spec.orientation)})};
  if (spec.dngVersion) {
    first.push_back(Bytes(0xC612, {1, 4, 0, 0}));
    first.push_back(Bytes(0xC613, {1, 1, 0, 0}));
    first.push_back(Ascii(0xC614, spec.make + " Mosaic 1"));
    // XYZ (D65) to linear sRGB: the camera's channels are sRGB's.
    first.push_back(
        Rationals(0xC621, 10, {3.2406, -1.5372, -0.4986, -0.9689, 1.8758, 0.0415, 0.0557, -0.2040, 1.0570}));
    first.push_back(Rationals(0xC628, 5, {1, 1, 1}));
    first.push_back(Short(0xC65A, {21}));
  }
  const bool preview = !jpeg.empty();
  if (preview) {
    first.push_back(Long(254, 1));
    first.push_back(Long(256, static_cast<uint32_t>(spec.previewWidth)));
    first.push_back(Long(257, static_cast<uint32_t>(spec.previewHeight)));
    first.push_back(Short(258, {8, 8, 8}));
    first.push_back(Short(259, {7}));
    first.push_back(Short(262, {6}));
    first.push_back(Long(273, 0));
    first.push_back(Short(277, {3}));
    first.push_back(Long(278, static_cast<uint32_t>(spec.previewHeight)));
    first.push_back(Long(279, static_cast<uint32_t>(jpeg.size())));
    first.push_back(Short(284, {1}));
    first.push_back(Long(330, 0));
  } else {
    // Without a preview the mosaic is the first directory itself.
    for (TiffEntry& e : raw) first.push_back(e);
    raw.clear();
  }

  // Layout: header, IFD0, the SubIFD, the JPEG, the mosaic.
  size_t ifd0At = 8, subAt = ifd0At + DirectoryBytes(first);
  size_t jpegAt = subAt + (raw.empty() ? 0 : DirectoryBytes(raw));
  size_t mosaicAt = jpegAt + jpeg.size();
  auto set = [](std::vector<TiffEntry>& ifd, uint16_t tag, size_t value) {
    for (TiffEntry& e : ifd)
      if (e.tag == tag && e.type == 4) {
        e.value.clear();
        Put32(e.value, static_cast<uint32_t>(value));
        return;
      }
  };
  if (preview) {
    set(first, 273, jpegAt);
    set(first, 330, subAt);
    set(raw, 273, mosaicAt);
  } else {
    set(first, 273, mosaicAt);
  }
  std::vector<uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
  WriteDirectory(out, first);
  if (!raw.empty()) WriteDirectory(out, raw);
  out.insert(out.end(), jpeg.begin(), jpeg.end());
  out.insert(out.end(), mosaic.begin(), mosaic.end());
  return out;
}

}  // namespace vl::test
