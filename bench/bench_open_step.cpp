// Opening a picture in a folder and stepping through a folder, as the window does them.
//
// BM_OpenInFolder: the time from opening a small JPEG in a folder of N files (the rest empty
// files) to the picture being current. With background:1 the folder is listed on a worker
// (as in the window) and the open does not wait for it; background:0 lists it first, as the
// headless front end does. The counter decode_ms is the plain read of the same picture.
//
// BM_StepJpeg: stepping forward through a folder of 24-megapixel JPEGs with a pause on each
// picture; the time from the step to the picture current and rendered by the display's
// renderer into a 1920 x 1080 area, with and without reading ahead.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "bench_util.h"
#include "display/renderer.h"
#include "formats/jpeg_codec.h"
#include "formats/loader.h"
#include "main/session.h"
#include "platform/main_thread_queue.h"
#include "settings/settings.h"

namespace {

namespace fs = std::filesystem;

// A folder made once for the whole run and removed at its end.
struct BenchDir {
  std::string path;
  explicit BenchDir(const std::string& name) {
    path = (fs::temp_directory_path() / ("vistaloom-bench-" + name + "-" + std::to_string(::getpid()))).string();
    fs::create_directories(path);
  }
  ~BenchDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  std::string File(const std::string& name) const { return path + "/" + name; }
};

// A folder of `files` entries: photo.jpg (1024 x 768) and empty files.
const BenchDir& FolderOf(int files) {
  static std::map<int, std::unique_ptr<BenchDir>> made;
  auto& dir = made[files];
  if (dir) return *dir;
  dir = std::make_unique<BenchDir>("open" + std::to_string(files));
  auto picture = vl::bench::MakePicture(1024, 768);
  vl::formats::SaveJPEG(picture.get(), dir->File("photo.jpg").c_str(), 90, false, false);
  for (int i = 1; i < files; ++i) {
    int fd = ::open(dir->File("file" + std::to_string(i) + ".dat").c_str(), O_CREAT | O_WRONLY, 0644);
    if (fd >= 0) ::close(fd);
  }
  return *dir;
}

vl::settings::Settings BenchSettings() {
  vl::settings::Settings s = vl::settings::DefaultSettings();
  s.showNonImageFiles = false;  // every file typed while listing: the slow case
  return s;
}

void BM_OpenInFolder(benchmark::State& state) {
  const int files = static_cast<int>(state.range(0));
  const bool background = state.range(1) != 0;
  const BenchDir& dir = FolderOf(files);
  const std::string photo = dir.File("photo.jpg");
  double decodeSeconds = 0;
  for (int i = 0; i < 3; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    vl::image::TexturePtr t(vl::formats::ReadPicture(photo.c_str()));
    decodeSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / 3;
  }
  vl::platform::SimpleMainThreadQueue queue;
  for (auto _ : state) {
    state.PauseTiming();
    auto session = std::make_unique<vl::main::Session>(BenchSettings());
    if (background) session->SetMainThreadQueue(&queue);
    state.ResumeTiming();
    if (session->controller().OpenPicture(photo.c_str()) != 0) state.SkipWithError("the picture did not open");
    benchmark::DoNotOptimize(session->controller().currentImage());
    state.PauseTiming();
    session.reset();  // stops a listing still in flight
    queue.RunPending();
    state.ResumeTiming();
  }
  state.counters["decode_ms"] = decodeSeconds * 1000;
}
BENCHMARK(BM_OpenInFolder)
    ->ArgNames({"files", "background"})
    ->Args({10, 1})
    ->Args({100000, 1})
    ->Args({10, 0})
    ->Args({100000, 0})
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

constexpr int kJpegs = 5;

const BenchDir& Jpegs() {
  static std::unique_ptr<BenchDir> dir;
  if (dir) return *dir;
  dir = std::make_unique<BenchDir>("step");
  for (int i = 0; i < kJpegs; ++i) {
    auto picture = vl::bench::MakePicture(6000, 4000, static_cast<uint32_t>(i + 1));
    vl::formats::SaveJPEG(picture.get(), dir->File("photo" + std::to_string(i) + ".jpg").c_str(), 90, false, false);
  }
  return *dir;
}

void BM_StepJpeg(benchmark::State& state) {
  const bool readAhead = state.range(0) != 0;
  const auto pause = std::chrono::milliseconds(state.range(1));
  const BenchDir& dir = Jpegs();
  vl::main::Session session(BenchSettings());
  session.EnableReadAhead(readAhead);
  vl::app::Controller& c = session.controller();
  vl::display::Renderer renderer;
  vl::display::DisplayState& d = renderer.state();
  vl::display::DisplayOptions o;
  o.zoomToFit = o.shrinkToFit = true;
  o.progressive = false;
  d.SetArea(1920, 1080);
  d.ApplyOptions(o);
  const std::string first = dir.File("photo0.jpg");
  if (c.OpenPicture(first.c_str()) != 0) {
    state.SkipWithError("the first picture did not open");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    if (c.currentPath() == dir.File("photo" + std::to_string(kJpegs - 1) + ".jpg")) c.OpenPicture(first.c_str());
    std::this_thread::sleep_for(pause);  // the user looks at the picture
    state.ResumeTiming();
    if (!c.LoadNext() || !c.currentImage()) {
      state.SkipWithError("the step did not open a picture");
      break;
    }
    d.SetImage(c.currentImage()->chunky);
    renderer.Command(vl::display::kRenderNowCommand);
    benchmark::DoNotOptimize(renderer.buffer().data());
  }
}
BENCHMARK(BM_StepJpeg)
    ->ArgNames({"readahead", "pause_ms"})
    ->Args({1, 500})
    ->Args({1, 1000})
    ->Args({0, 500})
    ->Iterations(8)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
