// Whole-directory work over 12 photos of 3000 x 2000 (JPEG files the benchmark writes
// once). The thumbnail scan: with a cold cache every photo is decoded, resampled to the
// 120 x 90 box and stored; with a warm cache every thumbnail comes from the cache. The
// batch converter: every photo reduced to fit 1600 x 1200 and saved as a JPEG file of
// quality 90 in another directory. The counter is source megapixels per second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bench_util.h"
#include "formats/jpeg_codec.h"
#include "formats/loader.h"
#include "thumbs/cache.h"
#include "thumbs/thumbnail.h"
#include "tools/batch_convert.h"

namespace {

constexpr int kPhotos = 12;
constexpr int kW = 3000, kH = 2000;
constexpr int kBoxW = 120, kBoxH = 90;

struct PhotoDir {
  std::string dir;
  std::vector<std::string> photos;
  bool ok = false;

  PhotoDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/vl-bench-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) return;
    dir = buf.data();
    ok = true;
    for (int i = 0; i < kPhotos && ok; ++i) {
      auto img = vl::bench::MakePicture(kW, kH, static_cast<uint32_t>(i + 1));
      std::string path = dir + "/photo" + std::to_string(i) + ".jpg";
      ok = img && vl::formats::SaveJPEG(img.get(), path.c_str(), 88, false, false);
      photos.push_back(path);
    }
  }
  ~PhotoDir() {
    for (const std::string& p : photos) unlink(p.c_str());
    vl::thumbs::ClearCache(CacheRoot());
    ClearOutput();
    if (!dir.empty()) rmdir(dir.c_str());
  }
  std::string CacheRoot() const { return dir + "/cache/"; }
  std::string OutputDir() const { return dir + "/converted"; }
  void ClearOutput() const {
    for (int i = 0; i < kPhotos; ++i) unlink((OutputDir() + "/photo" + std::to_string(i) + ".jpg").c_str());
    rmdir(OutputDir().c_str());
  }
};

const PhotoDir& Photos() {
  static PhotoDir photos;
  return photos;
}

// One photo as the scanner handles it: a cache hit, or decode, thumbnail and store.
bool ScanPhoto(const vl::thumbs::CacheContext& cache, const std::string& path) {
  vl::thumbs::DateStamp date;
  uint64_t size = 0;
  if (!vl::thumbs::FileDateStamp(path, date, &size)) return false;
  vl::thumbs::CacheEntryPtr hit(vl::thumbs::LoadImage(cache, path, static_cast<uint32_t>(size), date, kBoxW, kBoxH));
  if (hit) return true;
  vl::image::TexturePtr picture(vl::formats::ReadPicture(path.c_str()));
  if (!picture) return false;
  vl::image::ChunkyPtr thumb(vl::thumbs::MakeThumbnail(picture->chunky, nullptr, kBoxW, kBoxH, 0, 0, false, true));
  if (!thumb) return false;
  return vl::thumbs::StoreImage(cache, path, thumb.get(), 0, static_cast<uint32_t>(size), date, kBoxW, kBoxH,
                                static_cast<uint32_t>(picture->chunky->width),
                                static_cast<uint32_t>(picture->chunky->height), picture->formatName);
}

void BM_ThumbnailScan(benchmark::State& state) {
  const bool warm = state.range(0) != 0;
  const PhotoDir& photos = Photos();
  if (!photos.ok) state.SkipWithError("could not write the photos");
  vl::thumbs::CacheContext cache;
  cache.root = photos.CacheRoot();
  vl::thumbs::ClearCache(cache.root);
  if (warm)
    for (const std::string& p : photos.photos)
      if (!ScanPhoto(cache, p)) state.SkipWithError("could not fill the cache");
  state.SetLabel(warm ? "warm cache" : "cold cache");
  for (auto _ : state) {
    if (!warm) {
      state.PauseTiming();
      vl::thumbs::ClearCache(cache.root);
      state.ResumeTiming();
    }
    for (const std::string& p : photos.photos)
      if (!ScanPhoto(cache, p)) state.SkipWithError("scan failed");
  }
  vl::bench::SetMegapixels(state, double(kW) * kH * kPhotos);
}
BENCHMARK(BM_ThumbnailScan)->ArgName("warm")->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_BatchConvert(benchmark::State& state) {
  const PhotoDir& photos = Photos();
  if (!photos.ok) state.SkipWithError("could not write the photos");
  for (auto _ : state) {
    state.PauseTiming();
    photos.ClearOutput();
    vl::tools::BatchJob job;
    job.width = 1600;
    job.height = 1200;
    job.reduce = true;
    job.quality = 90;
    job.sourceDir = photos.dir;
    job.destDir = photos.OutputDir();
    state.ResumeTiming();
    vl::tools::ConvertDirectory(nullptr, job);
    if (job.converted.load() != kPhotos) state.SkipWithError("not every photo was converted");
  }
  vl::bench::SetMegapixels(state, double(kW) * kH * kPhotos);
}
BENCHMARK(BM_BatchConvert)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
