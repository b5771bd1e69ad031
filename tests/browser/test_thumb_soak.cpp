// Load test of the thumbnail scanner: a directory of many small pictures in several formats,
// with broken files, other files and subdirectories among them, scanned with the disk cache
// on; then scanned again by new views, which must take every picture from the cache. The
// process's memory must not grow from scan to scan and no pixel block may be left behind.
//
// 200 pictures by default (CI, sanitizer builds); VISTALOOM_SOAK=full makes 2 000.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "browser/thumb_view.h"
#include "formats/ilbm_writer.h"
#include "formats/jpeg_codec.h"
#include "formats/png_writer.h"
#include "image/chunky.h"
#include "image/pool.h"
#include "platform/paths.h"
#include "test_support.h"
#include "thumbs/cache.h"

#if defined(__SANITIZE_ADDRESS__)
#define SOAK_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SOAK_UNDER_ASAN 1
#endif
#endif

namespace vl::browser {
namespace {

using Clock = std::chrono::steady_clock;

bool FullSoak() {
  const char* v = std::getenv("VISTALOOM_SOAK");
  return v && std::strcmp(v, "full") == 0;
}

// The resident size once the allocator has handed its free pages back, so that memory
// still cached by an arena of an ended scanner thread does not count as growth.
long ResidentKiB() {
  ::malloc_trim(0);
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

// The colours of the pictures: far enough apart that a thumbnail showing another file's
// picture is told from its own after JPEG and the two-bytes-a-pixel packing.
struct Rgb {
  uint8_t r, g, b;
};
constexpr Rgb kColours[] = {{220, 30, 30},  {30, 200, 40},  {40, 60, 220},
                            {230, 220, 40}, {30, 210, 220}, {210, 40, 200}};
constexpr int kColourTolerance = 48;

enum class Kind { Png, Jpeg, Bmp, Pnm, Ilbm };
constexpr Kind kKinds[] = {Kind::Png, Kind::Jpeg, Kind::Bmp, Kind::Pnm, Kind::Ilbm};

struct PictureFile {
  std::string name;
  int width = 0;
  int height = 0;
  Rgb colour{};
  std::string format;  // the format name the readers report
};

image::ChunkyPtr Solid(int width, int height, Rgb c) {
  image::ChunkyPtr img(image::chk_Create(width, height, image::ARGB32, false));
  if (img) image::Fill(img.get(), c.r, c.g, c.b, 255);
  return img;
}

void Put16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

// A 24-bit BMP header; the pixel rows follow bottom-up, each padded to four bytes.
std::string BmpHeader(int width, int height) {
  const uint32_t row = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  std::string s = "BM";
  Put32(s, 54 + row * static_cast<uint32_t>(height));
  Put32(s, 0);
  Put32(s, 54);
  Put32(s, 40);
  Put32(s, static_cast<uint32_t>(width));
  Put32(s, static_cast<uint32_t>(height));
  Put16(s, 1);
  Put16(s, 24);
  Put32(s, 0);
  Put32(s, row * static_cast<uint32_t>(height));
  Put32(s, 2835);
  Put32(s, 2835);
  Put32(s, 0);
  Put32(s, 0);
  return s;
}

bool WritePicture(const std::string& path, Kind kind, int width, int height, Rgb c) {
  switch (kind) {
    case Kind::Png: {
      image::ChunkyPtr img = Solid(width, height, c);
      return img && formats::SavePNG(img.get(), path.c_str(), false) == 1;
    }
    case Kind::Jpeg: {
      image::ChunkyPtr img = Solid(width, height, c);
      return img && formats::SaveJPEG(img.get(), path.c_str(), 90, false, false) == 1;
    }
    case Kind::Ilbm: {
      image::ChunkyPtr img = Solid(width, height, c);
      return img && formats::SaveILBM(img.get(), path.c_str()) == 1;
    }
    case Kind::Bmp: {
      std::string s = BmpHeader(width, height);
      const size_t row = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
      std::string line(row, '\0');
      for (int x = 0; x < width; ++x) {
        line[static_cast<size_t>(x) * 3] = static_cast<char>(c.b);
        line[static_cast<size_t>(x) * 3 + 1] = static_cast<char>(c.g);
        line[static_cast<size_t>(x) * 3 + 2] = static_cast<char>(c.r);
      }
      for (int y = 0; y < height; ++y) s += line;
      return test::WriteFile(path, s);
    }
    case Kind::Pnm: {
      std::string s = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
      for (int i = 0; i < width * height; ++i) {
        s += static_cast<char>(c.r);
        s += static_cast<char>(c.g);
        s += static_cast<char>(c.b);
      }
      return test::WriteFile(path, s);
    }
  }
  return false;
}

// Files no reader decodes, though several of them begin like pictures; some claim sizes
// far beyond any allowed buffer.
std::vector<std::pair<std::string, std::string>> BrokenFiles(int n, const std::string& validPng) {
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < n; ++i) {
    const std::string k = std::to_string(i);
    switch (i % 6) {
      case 0: files.push_back({"broken_truncated_" + k + ".png", validPng.substr(0, 60)}); break;
      case 1:
        files.push_back({"broken_header_" + k + ".jpg",
                         std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11) + std::string(200, '\x5A')});
        break;
      case 2: files.push_back({"broken_empty_" + k + ".png", std::string()}); break;
      case 3:
        files.push_back({"broken_huge_" + k + ".bmp", BmpHeader(100000, 100000) + std::string(64, '\x7F')});
        break;
      case 4: files.push_back({"broken_huge_" + k + ".ppm", "P6\n65535 65535\n255\n" + std::string(30, '\x11')}); break;
      default: files.push_back({"broken_garbage_" + k + ".gif", "GIF89a" + std::string(100, '\xEE')}); break;
    }
  }
  return files;
}

class ThumbScannerSoak : public test::PoolTest {
 protected:
  ThumbScannerSoak()
      : envarc_("VISTALOOM_ASSIGN_ENVARC", tmp_.file("envarc")),
        progdir_("VISTALOOM_ASSIGN_PROGDIR", tmp_.file("progdir") + ":" + VISTALOOM_SOURCE_DIR "/data") {
    settings_.cachePath = tmp_.file("cache");
  }
  std::string Dir() const { return tmp_.file("pics"); }
  std::string Path(const std::string& name) const { return Dir() + "/" + name; }

  // A new view on the directory, scanned to the end (bounded): null when the time ran out.
  std::unique_ptr<ThumbView> Scan(Clock::duration bound) {
    auto view = std::make_unique<ThumbView>(settings_);
    view->SetShown(true);
    view->SetInitialDirectory(Dir());
    view->LoadDirectory();
    const auto end = Clock::now() + bound;
    while (view->Scanning() && Clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      view->TimerTick();
    }
    view->TimerTick();
    if (view->Scanning()) return nullptr;
    return view;
  }

  test::TempDir tmp_;
  test::ScopedEnv envarc_;
  test::ScopedEnv progdir_;
  ThumbViewSettings settings_;
};

// Counts the regular files of the cache tree.
size_t CacheFileCount(const std::string& root) {
  size_t n = 0;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    if (it->is_regular_file()) ++n;
  return n;
}

uint64_t FileBytes(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

bool Near(uint8_t a, uint8_t b) {
  return std::abs(static_cast<int>(a) - static_cast<int>(b)) <= kColourTolerance;
}

TEST_F(ThumbScannerSoak, TwoThousandPictures) {
  const bool full = FullSoak();
  const int pictures = full ? 2000 : 200;
  const int broken = pictures / 40;
  const int others = pictures / 100;
  const int repeats = full ? 5 : 12;
  const Clock::duration bound = full ? std::chrono::minutes(15) : std::chrono::minutes(3);
  const auto started = Clock::now();

  // The directory: each picture a size no other has (130..199 x 90..139), so a cell or a
  // tooltip carrying another file's facts shows.
  ASSERT_TRUE(platform::MakeDirectories(Dir()));
  std::map<std::string, PictureFile> good;
  static const char* const kSuffix[] = {".png", ".jpg", ".bmp", ".ppm", ".iff"};
  static const char* const kFormat[] = {"PNG", "JPEG", "BMP", "PNM", "ILBM"};
  for (int i = 0; i < pictures; ++i) {
    const int k = i % 5;
    char name[32];
    std::snprintf(name, sizeof name, "pic%04d%s", i, kSuffix[k]);
    PictureFile f{name, 130 + i % 70, 90 + (i / 70) % 50, kColours[i % 6], kFormat[k]};
    ASSERT_TRUE(WritePicture(Path(f.name), kKinds[k], f.width, f.height, f.colour)) << f.name;
    good[f.name] = f;
  }
  std::vector<uint8_t> png = test::ReadFile(Path("pic0000.png"));
  std::vector<std::string> failing;
  for (const auto& [name, bytes] : BrokenFiles(broken, std::string(png.begin(), png.end()))) {
    ASSERT_TRUE(test::WriteFile(Path(name), bytes));
    failing.push_back(name);
  }
  for (int i = 0; i < others; ++i) {
    const std::string k = std::to_string(i);
    ASSERT_TRUE(test::WriteFile(Path("notes_" + k + ".txt"), std::string("plain text, no picture\n")));
    failing.push_back("notes_" + k + ".txt");
  }
  ASSERT_TRUE(platform::MakeDirectories(Path("sub_a")));
  ASSERT_TRUE(platform::MakeDirectories(Path("sub_b")));
  const int entries = pictures + broken + others + 2;
  const auto made = Clock::now();

  // Every picture cell has its own picture and facts; every other file the tool icon.
  auto check = [&](ThumbView& view, PictureSource wanted, const char* scan) {
    ASSERT_EQ(view.EntryCount(), entries) << scan;
    EXPECT_EQ(view.StatusText(), kStatusReady) << scan;
    int wrong = 0;
    for (const auto& [name, f] : good) {
      const int pos = view.FindEntry(name);
      ThumbEntry* e = pos >= 0 ? view.GetEntry(pos) : nullptr;
      ASSERT_NE(e, nullptr) << scan << " " << name;
      const image::Size fit = image::FitSize(f.width, f.height, settings_.boxWidth, settings_.boxHeight);
      const std::string tip = ThumbnailTooltip(name, f.width, f.height, f.format, FileBytes(Path(name)));
      image::ChunkyPtr rgb = e->picture.CopyRGB();
      bool ok = e->source == wanted && rgb && rgb->width == fit.width && rgb->height == fit.height &&
                e->tooltip.has_value() && *e->tooltip == tip;
      if (ok) {
        const uint8_t* p = rgb->pixels + (static_cast<size_t>(rgb->height / 2) * rgb->width + rgb->width / 2) * 3;
        ok = Near(p[0], f.colour.r) && Near(p[1], f.colour.g) && Near(p[2], f.colour.b);
      }
      if (!ok && ++wrong <= 5)
        ADD_FAILURE() << scan << ": " << name << " from " << PictureSourceName(e->source) << ", "
                      << (rgb ? rgb->width : 0) << "x" << (rgb ? rgb->height : 0) << ", tooltip "
                      << (e->tooltip ? *e->tooltip : "none");
    }
    EXPECT_EQ(wrong, 0) << scan << ": pictures without their own thumbnail";
    for (const std::string& name : failing) {
      const int pos = view.FindEntry(name);
      ThumbEntry* e = pos >= 0 ? view.GetEntry(pos) : nullptr;
      ASSERT_NE(e, nullptr) << scan << " " << name;
      EXPECT_EQ(e->source, PictureSource::Icon) << scan << " " << name;
      EXPECT_EQ(e->picture.PictureWidth(), 28) << scan << " " << name << ": the default tool icon";
      EXPECT_FALSE(e->tooltip.has_value()) << scan << " " << name;
    }
    for (const char* dir : {"sub_a", "sub_b"}) {
      ThumbEntry* e = view.GetEntry(view.FindEntry(dir));
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(e->source, PictureSource::Icon) << scan << " " << dir;
      EXPECT_EQ(e->picture.PictureWidth(), 40) << scan << " " << dir << ": the default drawer icon";
    }
  };
  const size_t poolBlocks = image::PoolBlockCount();

  // First scan: everything decoded, every picture stored.
  {
    std::unique_ptr<ThumbView> view = Scan(bound);
    ASSERT_NE(view, nullptr) << "the first scan did not finish in time";
    check(*view, PictureSource::Decoded, "first scan");
  }
  const auto firstDone = Clock::now();
  EXPECT_EQ(image::PoolBlockCount(), poolBlocks) << "the first view left pixel blocks behind";
  const long rssFirst = ResidentKiB();

  // The cache: an entry per picture, with the facts of its source, none for the rest.
  EXPECT_EQ(CacheFileCount(settings_.cachePath), good.size());
  int badEntries = 0;
  for (const auto& [name, f] : good) {
    std::string text;
    thumbs::CacheComment comment;
    const std::string file = thumbs::CacheFilePath(settings_.cachePath, Path(name));
    const bool ok = !file.empty() && thumbs::ReadCacheComment(settings_.cachePath, file, text) &&
                    thumbs::ParseCacheComment(text, comment) && comment.sourceWidth == static_cast<uint32_t>(f.width) &&
                    comment.sourceHeight == static_cast<uint32_t>(f.height) && comment.formatName == f.format &&
                    comment.boxWidth == 120u && comment.boxHeight == 80u;
    if (!ok && ++badEntries <= 5) ADD_FAILURE() << "cache entry of " << name << ": '" << text << "'";
  }
  EXPECT_EQ(badEntries, 0);
  for (const std::string& name : failing) {
    struct stat st;
    EXPECT_NE(::stat(thumbs::CacheFilePath(settings_.cachePath, Path(name)).c_str(), &st), 0) << name;
  }

  // Repeated scans by new views: every picture from the cache.
  long rssRepeat = -1, rssLast = -1;
  for (int r = 0; r < repeats; ++r) {
    {
      std::unique_ptr<ThumbView> view = Scan(bound);
      ASSERT_NE(view, nullptr) << "repeated scan " << r << " did not finish in time";
      check(*view, PictureSource::Cache, "repeated scan");
    }
    EXPECT_EQ(image::PoolBlockCount(), poolBlocks) << "repeated scan " << r << " left pixel blocks behind";
    (r == 0 ? rssRepeat : rssLast) = ResidentKiB();
  }
  const auto repeatsDone = Clock::now();

  // The cache alone made those cells: with every picture's bytes destroyed, but its size
  // and date kept, the cells still get their thumbnails; one picture with a new date is
  // then a miss (and its broken bytes give the tool icon).
  const std::string touched = good.begin()->first;
  for (const auto& [name, f] : good) {
    struct stat st;
    ASSERT_EQ(::stat(Path(name).c_str(), &st), 0);
    ASSERT_TRUE(test::WriteFile(Path(name), std::string(static_cast<size_t>(st.st_size), '\0')));
    timespec times[2] = {st.st_atim, st.st_mtim};
    if (name == touched) times[1].tv_sec += 3600;
    ASSERT_EQ(::utimensat(AT_FDCWD, Path(name).c_str(), times, 0), 0);
  }
  good.erase(touched);
  failing.push_back(touched);
  {
    std::unique_ptr<ThumbView> view = Scan(bound);
    ASSERT_NE(view, nullptr) << "the scan of the destroyed pictures did not finish in time";
    check(*view, PictureSource::Cache, "scan of destroyed pictures");
  }
  EXPECT_EQ(image::PoolBlockCount(), poolBlocks);
  const auto proofDone = Clock::now();

  const auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
  std::printf(
      "[ soak     ] %s form: %d entries (%d pictures, %d broken, %d other files, 2 directories)\n"
      "[ soak     ] files made in %.1f s; first scan %.1f s; %d repeated scans %.1f s; destroying the pictures "
      "and scanning them from the cache %.1f s\n"
      "[ soak     ] VmRSS %ld KiB after the first scan, %ld KiB after the first repeat, %ld KiB after "
      "the last\n",
      full ? "full" : "short", entries, pictures, broken, others, seconds(made - started), seconds(firstDone - made),
      repeats, seconds(repeatsDone - firstDone), seconds(proofDone - repeatsDone), rssFirst, rssRepeat, rssLast);
  std::fflush(stdout);

  // Memory: a scan holds one thumbnail per cell (at least 120 x 54, two bytes a pixel:
  // 13 KiB) while its view lives; keeping them after the view is gone would add
  // pictures x 13 KiB with every scan, at least 5 x that between the first scan and the
  // last. What the allocator keeps for itself does not pile up like that: an arena of a
  // scanner thread that has ended may keep up to one scan's worth at its top, which
  // malloc_trim cannot hand back, and whether it does varies from scan to scan. So the
  // growth must stay under one scan's worth plus 8 MiB. With AddressSanitizer freed memory
  // waits in its quarantine, so the resident size is no measure there; its leak check at
  // exit and the pool counts above do that job.
  const long oneScanKiB = static_cast<long>(pictures) * 13;
  const long boundKiB = oneScanKiB + 8 * 1024;
  EXPECT_GT(oneScanKiB * (repeats - 1), 2 * boundKiB) << "a bound a leak could hide under";
#ifndef SOAK_UNDER_ASAN
  EXPECT_LT(rssLast - rssFirst, boundKiB) << "resident size grew from the first scan to the last";
  EXPECT_LT(rssLast - rssRepeat, boundKiB) << "resident size grew over the repeated scans";
#endif
}

}  // namespace
}  // namespace vl::browser
