#include "thumbs/maintenance.h"

#include "formats/size_text.h"
#include "thumbs/cache.h"

namespace vl::thumbs {
namespace {

std::string SizeText(uint64_t size) {
  char buf[64];
  formats::FormatFileSize(buf, sizeof buf, size);
  return buf;
}

}  // namespace

std::string MegabytesText(uint64_t bytes) {
  char buf[64];
  float mb = static_cast<float>(bytes) * (1.0f / 1048576.0f);
  std::snprintf(buf, sizeof buf, "%.3f Mbytes", static_cast<double>(mb));
  return buf;
}

CacheActionResult RunCacheAction(CacheAction action, const std::string& root, const platform::StopFlag& stop) {
  CacheActionResult result;
  if (ResolvedCacheRoot(root).empty()) {
    result.message = "The cache path \"" + root + "\" cannot be used";
    result.sizeText = action == CacheAction::Size ? SizeText(0) : MegabytesText(0);
    return result;
  }
  result.ok = true;
  if (action == CacheAction::Clear && !ClearCache(root, stop)) {
    result.ok = false;
    result.message = "Not all of the cache could be deleted";
  }
  if (action == CacheAction::RemoveDead) RemoveDead(root, stop);
  const uint64_t size = CacheSize(root, stop);
  result.stopped = stop.Requested();
  if (result.stopped) {
    result.ok = false;
    result.message = "Stopped";
  }
  result.sizeText = action == CacheAction::Size ? SizeText(size) : MegabytesText(size);
  return result;
}

CacheMaintenanceRunner::CacheMaintenanceRunner(platform::MainThreadQueue& queue) : queue_(queue) {}

CacheMaintenanceRunner::~CacheMaintenanceRunner() {
  Stop();
  if (worker_.joinable()) worker_.join();
}

bool CacheMaintenanceRunner::Start(CacheAction action, const std::string& root, Done done) {
  if (running_) return false;
  // The last worker handed its result over or was stopped; it has ended or is about to.
  if (worker_.joinable()) worker_.join();
  job_ = std::make_shared<Job>();
  running_ = true;
  worker_ = std::thread([this, queue = &queue_, job = job_, action, root, done = std::move(done)] {
    auto result = std::make_shared<CacheActionResult>(RunCacheAction(action, root, job->stop));
    queue->Push([this, job, result, done] {
      if (!job->alive) return;  // stopped, or the runner is gone
      job->alive = false;
      running_ = false;
      done(*result);
    });
  });
  return true;
}

void CacheMaintenanceRunner::Stop() {
  if (!job_) return;
  job_->alive = false;
  job_->stop.Request();
  running_ = false;
}

int RunCacheMaintenance(const std::string& what, const std::string& root, FILE* out) {
  CacheAction action;
  if (what == "size")
    action = CacheAction::Size;
  else if (what == "clear")
    action = CacheAction::Clear;
  else if (what == "remove-dead")
    action = CacheAction::RemoveDead;
  else
    return 2;
  CacheActionResult r = RunCacheAction(action, root);
  if (!r.sizeText.empty()) std::fprintf(out, "%s\n", r.sizeText.c_str());
  if (!r.ok && !r.message.empty()) std::fprintf(stderr, "%s\n", r.message.c_str());
  return r.ok ? 0 : 1;
}

}  // namespace vl::thumbs
