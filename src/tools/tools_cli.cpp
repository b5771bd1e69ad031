#include "tools/tools_cli.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>

#include "formats/jpeg_transform.h"
#include "formats/loader.h"
#include "image/pool.h"
#include "tools/batch_convert.h"
#include "tools/job_setup.h"
#include "tools/thumbnailer.h"

namespace vl::tools {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

// Box sizes and offsets accepted on the command line.
constexpr long kMaxSide = 32767;
constexpr long kMaxOffset = 32767;

const char* const kTools[] = {"--batch-convert", "--thumbnailer", "--jpeg-transform"};

struct ToolSpec {
  std::set<std::string> flags;   // options without a value
  std::set<std::string> values;  // options with one value
  size_t positionals;            // exact number of non-option arguments
};

const std::map<std::string, ToolSpec>& Specs() {
  static const std::map<std::string, ToolSpec> specs = {
      {"--batch-convert", {{"--enlarge", "--reduce"}, {"--width", "--height", "--quality"}, 2}},
      {"--thumbnailer",
       {{"--recursive", "--replace", "--no-aspect"},
        {"--suffix", "--width", "--height", "--template", "--offset-x", "--offset-y", "--default-tool"},
        1}},
      {"--jpeg-transform", {{"--trim"}, {"--output", "--rotate", "--flip"}, 1}},
  };
  return specs;
}

struct Parsed {
  std::string tool;
  std::set<std::string> flags;
  std::map<std::string, std::string> values;
  std::vector<std::string> positionals;
  bool help = false;
};

int UsageError(const std::string& text) {
  std::fprintf(stderr, "vistaloom: %s\n%s", text.c_str(), ToolsUsageText());
  return kExitUsage;
}

// False (with the reason) when the arguments do not fit the tool's options.
bool Parse(const std::vector<std::string>& argv, Parsed& p, std::string& error) {
  bool ended = false;
  for (size_t i = 0; i < argv.size(); ++i) {
    const std::string& a = argv[i];
    if (ended || a.size() < 2 || a.compare(0, 2, "--") != 0) {
      p.positionals.push_back(a);
      continue;
    }
    if (a == "--") {
      ended = true;
      continue;
    }
    std::string name = a, value;
    const size_t eq = a.find('=');
    const bool hasValue = eq != std::string::npos;
    if (hasValue) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
    }
    if (name == "--help") {
      p.help = true;
      continue;
    }
    if (Specs().count(name)) {
      if (hasValue) {
        error = "option " + name + " takes no argument";
        return false;
      }
      if (!p.tool.empty() && p.tool != name) {
        error = "options " + p.tool + " and " + name + " cannot be combined";
        return false;
      }
      p.tool = name;
      continue;
    }
    // The tool may stand after its options: look it up first.
    std::string tool = p.tool;
    for (const std::string& b : argv)
      if (tool.empty() && Specs().count(b)) tool = b;
    const ToolSpec& spec = Specs().at(tool);
    if (spec.flags.count(name)) {
      if (hasValue) {
        error = "option " + name + " takes no argument";
        return false;
      }
      p.flags.insert(name);
    } else if (spec.values.count(name)) {
      if (!hasValue) {
        if (i + 1 >= argv.size()) {
          error = "option " + name + " needs an argument";
          return false;
        }
        value = argv[++i];
      }
      p.values[name] = value;
    } else {
      error = "unknown option " + name + " for " + tool;
      return false;
    }
  }
  if (p.help) return true;
  if (p.positionals.size() != Specs().at(p.tool).positionals) {
    error = p.tool + " takes " + std::to_string(Specs().at(p.tool).positionals) + " " +
            (Specs().at(p.tool).positionals == 1 ? "name" : "names");
    return false;
  }
  return true;
}

// The option's value as a whole number inside [low, high]; the default when it is absent.
bool Number(const Parsed& p, const std::string& name, long low, long high, long fallback, int32_t& out,
            std::string& error) {
  auto it = p.values.find(name);
  if (it == p.values.end()) {
    out = static_cast<int32_t>(fallback);
    return true;
  }
  const char* text = it->second.c_str();
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (!*text || *end || errno != 0 || v < low || v > high) {
    error = "option " + name + " needs a number from " + std::to_string(low) + " to " + std::to_string(high);
    return false;
  }
  out = static_cast<int32_t>(v);
  return true;
}

// ---- progress and Ctrl-C ------------------------------------------------------------

volatile sig_atomic_t gInterrupted = 0;
extern "C" void OnInterrupt(int) {
  gInterrupted = 1;
}

// Catches SIGINT for its lifetime.
class InterruptScope {
 public:
  InterruptScope() {
    gInterrupted = 0;
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, &old_);
  }
  ~InterruptScope() { ::sigaction(SIGINT, &old_, nullptr); }
  bool interrupted() const { return gInterrupted != 0; }

 private:
  struct sigaction old_ {};
};

// One line on standard error, rewritten in place; nothing at all when it is no terminal.
class ProgressLine {
 public:
  ProgressLine() : terminal_(::isatty(STDERR_FILENO) == 1) {}
  ~ProgressLine() { Clear(); }
  void Show(const std::string& text) {
    if (!terminal_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    struct winsize ws {};
    size_t columns = 80;
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 1) columns = ws.ws_col;
    std::string line = text.size() < columns ? text : text.substr(0, columns - 1);
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    shown_ = true;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
  }

 private:
  bool terminal_;
  bool shown_ = false;
  std::mutex mutex_;
};

// Set by the finished notification.
class Done {
 public:
  void Set() {
    std::lock_guard<std::mutex> lock(m_);
    done_ = true;
    cv_.notify_all();
  }
  // Waits for the job to finish or for Ctrl-C; true when it was Ctrl-C.
  bool WaitOrInterrupt(const InterruptScope& interrupt) {
    std::unique_lock<std::mutex> lock(m_);
    while (!done_) {
      if (interrupt.interrupted()) return true;
      cv_.wait_for(lock, std::chrono::milliseconds(100));
    }
    return false;
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool done_ = false;
};

// ---- the three tools ----------------------------------------------------------------

int BatchConvertCli(const Parsed& p) {
  BatchJob job;
  std::string error;
  if (!Number(p, "--width", 1, kMaxSide, 800, job.width, error) ||
      !Number(p, "--height", 1, kMaxSide, 600, job.height, error) ||
      !Number(p, "--quality", 10, 100, 90, job.quality, error))
    return UsageError(error);
  job.enlarge = p.flags.count("--enlarge") > 0;
  job.reduce = p.flags.count("--reduce") > 0;
  job.sourceDir = p.positionals[0];
  job.destDir = p.positionals[1];
  if (job.destDir.empty()) return UsageError("the destination must not be empty");
  if (const std::string bad = CheckBatchPaths(job.sourceDir, job.destDir); !bad.empty()) {
    std::fprintf(stderr, "vistaloom: %s\n", bad.c_str());
    return kExitFailed;
  }

  image::PoolScope pool;
  ProgressLine progress;
  Done done;
  auto show = [&](BatchJob& j) {
    progress.Show("Scanned files: " + std::to_string(j.scanned.load()) +
                  "  Converted files: " + std::to_string(j.converted.load()) + "  File: " + j.CurrentFile());
  };
  job.fileNotify = show;
  job.scannedNotify = show;
  job.finishedNotify = [&](BatchJob&) { done.Set(); };
  InterruptScope interrupt;
  if (!StartBatchConversion(job)) {
    std::fputs("vistaloom: the batch converter could not be started\n", stderr);
    return kExitFailed;
  }
  const bool stopped = done.WaitOrInterrupt(interrupt);
  StopBatchConversion(job);
  progress.Clear();
  std::fflush(stdout);
  std::printf("Scanned files: %d\n", job.scanned.load());
  std::printf("Converted files: %d\n", job.converted.load());
  std::printf("File size difference: %s\n", SizeDifferenceText(job.sizeDifference.load(), job.SizeText()).c_str());
  std::fflush(stdout);
  if (stopped) return kExitInterrupted;
  return job.unsaved.load() > 0 ? kExitFailed : kExitOk;
}

int ThumbnailerCli(const Parsed& p) {
  ThumbnailerJob job;
  std::string error;
  if (!Number(p, "--width", 1, kMaxSide, 64, job.width, error) ||
      !Number(p, "--height", 1, kMaxSide, 64, job.height, error) ||
      !Number(p, "--offset-x", -kMaxOffset, kMaxOffset, 0, job.offsetX, error) ||
      !Number(p, "--offset-y", -kMaxOffset, kMaxOffset, 0, job.offsetY, error))
    return UsageError(error);
  if (auto it = p.values.find("--suffix"); it != p.values.end()) job.suffix = it->second;
  if (job.suffix.empty()) {
    std::fputs(kNoSuffixText, stdout);
    return kExitUsage;
  }
  if (const std::string bad = CheckThumbnailSuffix(job.suffix); !bad.empty()) return UsageError(bad);
  if (auto it = p.values.find("--default-tool"); it != p.values.end()) job.defaultTool = it->second;
  job.recursive = p.flags.count("--recursive") > 0;
  job.replace = p.flags.count("--replace") > 0;
  job.preserveAspect = p.flags.count("--no-aspect") == 0;
  job.path = p.positionals[0];
  if (const std::string bad = CheckThumbnailerPath(job.path); !bad.empty()) {
    std::fprintf(stderr, "vistaloom: %s\n", bad.c_str());
    return kExitFailed;
  }

  image::PoolScope pool;
  image::TexturePtr templ;
  if (auto it = p.values.find("--template"); it != p.values.end()) {
    std::string bad;
    templ = LoadTemplateImage(it->second, bad);
    if (!templ) {
      std::fprintf(stderr, "vistaloom: %s\n", bad.c_str());
      return kExitFailed;
    }
    job.templateImage = templ.get();
  }
  ProgressLine progress;
  Done done;
  auto show = [&](ThumbnailerJob& j) {
    progress.Show("Scanned directories: " + std::to_string(j.scannedDirectories.load()) +
                  "  Scanned files: " + std::to_string(j.scannedFiles.load()) +
                  "  Created thumbnails: " + std::to_string(j.createdThumbnails.load()) + "  File: " + j.CurrentFile());
  };
  job.fileNotify = show;
  job.scannedNotify = show;
  job.directoryNotify = show;
  job.finishedNotify = [&](ThumbnailerJob&) { done.Set(); };
  InterruptScope interrupt;
  if (!StartThumbnailer(job)) {
    std::fputs("vistaloom: the thumbnailer could not be started\n", stderr);
    return kExitFailed;
  }
  const bool stopped = done.WaitOrInterrupt(interrupt);
  StopThumbnailer(job);
  progress.Clear();
  std::fflush(stdout);
  std::printf("Scanned directories: %u\n", job.scannedDirectories.load());
  std::printf("Scanned files: %u\n", job.scannedFiles.load());
  std::printf("Created thumbnails: %u\n", job.createdThumbnails.load());
  std::fflush(stdout);
  return stopped ? kExitInterrupted : kExitOk;
}

int JpegTransformCli(const Parsed& p) {
  const auto rotate = p.values.find("--rotate");
  const auto flip = p.values.find("--flip");
  if ((rotate == p.values.end()) == (flip == p.values.end()))
    return UsageError("--jpeg-transform needs one of --rotate and --flip");
  formats::JpegTransformation t = formats::JpegTransformation::kNone;
  if (rotate != p.values.end()) {
    if (rotate->second == "90")
      t = formats::JpegTransformation::kRotate90;
    else if (rotate->second == "180")
      t = formats::JpegTransformation::kRotate180;
    else if (rotate->second == "270")
      t = formats::JpegTransformation::kRotate270;
    else
      return UsageError("--rotate takes 90, 180 or 270");
  } else {
    if (flip->second == "horizontal")
      t = formats::JpegTransformation::kFlipHorizontal;
    else if (flip->second == "vertical")
      t = formats::JpegTransformation::kFlipVertical;
    else
      return UsageError("--flip takes horizontal or vertical");
  }
  const std::string& source = p.positionals[0];
  auto out = p.values.find("--output");
  const std::string output = out != p.values.end() ? out->second : source;
  if (output.empty()) return UsageError("--output needs a file name");
  std::string error;
  if (!formats::ExecuteJpegTransform(source, output, t, p.flags.count("--trim") > 0, nullptr, error)) {
    if (error.empty() || error.back() != '\n') error += '\n';
    std::fputs(error.c_str(), stdout);
    std::fflush(stdout);
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

const char* ToolsUsageText() {
  return "  --batch-convert SRC DST [--width N] [--height N] [--enlarge] [--reduce] [--quality Q]\n"
         "                  convert the pictures of SRC to JPEG files in DST (box 800 x 600, quality 90)\n"
         "  --thumbnailer DIR [--recursive] [--suffix S] [--replace] [--width N] [--height N]\n"
         "                [--no-aspect] [--template FILE] [--offset-x N] [--offset-y N] [--default-tool T]\n"
         "                  write PNG thumbnails beside the pictures of DIR (suffix .info, box 64 x 64)\n"
         "  --jpeg-transform FILE [--output OUT] (--rotate 90|180|270 | --flip horizontal|vertical) [--trim]\n"
         "                  turn or flip a JPEG file without recompressing it (in place without --output)\n";
}

bool RunToolsCli(const std::vector<std::string>& argv, int& exitStatus) {
  bool ended = false, named = false;
  for (const std::string& a : argv) {
    if (a == "--") ended = true;
    for (const char* t : kTools)
      if (!ended && a == t) named = true;
  }
  if (!named) return false;
  Parsed p;
  std::string error;
  if (!Parse(argv, p, error)) {
    exitStatus = UsageError(error);
    return true;
  }
  if (p.help) {
    std::fputs(ToolsUsageText(), stdout);
    exitStatus = kExitOk;
    return true;
  }
  if (p.tool == "--batch-convert")
    exitStatus = BatchConvertCli(p);
  else if (p.tool == "--thumbnailer")
    exitStatus = ThumbnailerCli(p);
  else
    exitStatus = JpegTransformCli(p);
  return true;
}

}  // namespace vl::tools
