// JPEG decoding of a 5120 x 2880 picture that the benchmark writes once with the project's
// own encoder: from a file as ARGB32 (viewing) and RGB24 (thumbnails), and from memory; and
// encoding it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "formats/jpeg.h"
#include "formats/jpeg_codec.h"
#include "platform/thread_pool.h"

namespace {

constexpr int kW = 5120, kH = 2880;

using vl::bench::SetMegapixels;

// Writes the picture once into a private temporary folder, removed at exit.
class JpegFile {
 public:
  JpegFile() {
    const char* tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/vl-bench-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) return;
    dir_ = buf.data();
    path_ = dir_ + "/picture.jpg";
    auto img = vl::bench::MakePicture(kW, kH);
    if (!img || !vl::formats::SaveJPEG(img.get(), path_.c_str(), 90, false, false)) path_.clear();
  }
  ~JpegFile() {
    if (!path_.empty()) std::remove(path_.c_str());
    if (!dir_.empty()) rmdir(dir_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string dir_, path_;
};

const JpegFile& File() {
  static JpegFile file;
  return file;
}

void BM_JpegDecodeARGB32(benchmark::State& state) {
  const std::string& path = File().path();
  if (path.empty()) state.SkipWithError("could not write the JPEG file");
  for (auto _ : state) {
    vl::image::TexturePtr t(vl::formats::ReadJpeg(path.c_str()));
    if (!t) state.SkipWithError("ReadJpeg failed");
    benchmark::DoNotOptimize(t.get());
  }
  SetMegapixels(state, double(kW) * kH);
}
BENCHMARK(BM_JpegDecodeARGB32)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_JpegDecodeRGB24(benchmark::State& state) {
  const std::string& path = File().path();
  if (path.empty()) state.SkipWithError("could not write the JPEG file");
  for (auto _ : state) {
    vl::image::TexturePtr t(vl::formats::ReadJpegForCache(path.c_str()));
    if (!t) state.SkipWithError("ReadJpegForCache failed");
    benchmark::DoNotOptimize(t.get());
  }
  SetMegapixels(state, double(kW) * kH);
}
BENCHMARK(BM_JpegDecodeRGB24)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_JpegDecodeMemory(benchmark::State& state) {
  std::vector<uint8_t> bytes;
  if (FILE* f = std::fopen(File().path().c_str(), "rb")) {
    uint8_t chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
  }
  if (bytes.empty()) state.SkipWithError("could not read the JPEG file");
  for (auto _ : state) {
    vl::image::TexturePtr t(vl::formats::ReadJpegMemoryForCache(bytes.data(), bytes.size()));
    if (!t) state.SkipWithError("ReadJpegMemoryForCache failed");
    benchmark::DoNotOptimize(t.get());
  }
  SetMegapixels(state, double(kW) * kH);
}
BENCHMARK(BM_JpegDecodeMemory)->UseRealTime()->Unit(benchmark::kMillisecond);

// Encoding the picture at quality 90 on one thread (range 0 = 1) or on every thread (0), with
// plain (range 1 = 0) or optimised (1) Huffman tables: the same bytes either way.
void BM_JpegEncode(benchmark::State& state) {
  auto picture = vl::bench::MakePicture(kW, kH, 2);
  const std::string& path = File().path();
  if (!picture || path.empty()) state.SkipWithError("could not make the picture");
  const std::string out = path + ".encode.jpg";
  vl::platform::ScopedThreadCount threads(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    if (vl::formats::SaveJPEG(picture.get(), out.c_str(), 90, state.range(1) != 0, false) != 1)
      state.SkipWithError("SaveJPEG failed");
  }
  std::remove(out.c_str());
  SetMegapixels(state, double(kW) * kH);
}
BENCHMARK(BM_JpegEncode)
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({0, 1})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// A decode of the big picture and an optimised encode of another, one after the other (0)
// or on two threads at once (1): with a codec context per call the second takes about the
// time of the longer one on a machine with two free cores.
void BM_JpegDecodeWhileEncoding(benchmark::State& state) {
  const std::string& path = File().path();
  if (path.empty()) state.SkipWithError("could not write the JPEG file");
  auto other = vl::bench::MakePicture(kW, kH, 2);
  const std::string out = path + ".out.jpg";
  const bool together = state.range(0) != 0;
  for (auto _ : state) {
    bool decoded = false, encoded = false;
    auto decode = [&] { decoded = vl::image::TexturePtr(vl::formats::ReadJpeg(path.c_str())) != nullptr; };
    auto encode = [&] { encoded = other && vl::formats::SaveJPEG(other.get(), out.c_str(), 90, true, false) == 1; };
    if (together) {
      std::thread t(encode);
      decode();
      t.join();
    } else {
      decode();
      encode();
    }
    if (!decoded || !encoded) state.SkipWithError("decode or encode failed");
  }
  std::remove(out.c_str());
  SetMegapixels(state, 2.0 * kW * kH);
}
BENCHMARK(BM_JpegDecodeWhileEncoding)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// ReadJpeg of 4:3 pictures from a quarter of a megapixel to four, on one thread and in strips on
// two (whatever the size): where the strips start to pay for the rows they skip twice.
void BM_JpegDecodeStrips(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = w * 3 / 4;
  const std::string path = File().path() + ".strips.jpg";
  auto img = vl::bench::MakePicture(w, h);
  if (File().path().empty() || !img || !vl::formats::SaveJPEG(img.get(), path.c_str(), 90, false, false))
    state.SkipWithError("could not write the JPEG file");
  vl::platform::ScopedThreadCount threads(static_cast<int>(state.range(1)), true);
  for (auto _ : state) {
    vl::image::TexturePtr t(vl::formats::ReadJpeg(path.c_str()));
    if (!t) state.SkipWithError("ReadJpeg failed");
    benchmark::DoNotOptimize(t.get());
  }
  std::remove(path.c_str());
  SetMegapixels(state, double(w) * h);
}
BENCHMARK(BM_JpegDecodeStrips)
    ->ArgsProduct({{576, 1024, 1182, 1600, 2304}, {1, 2}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
