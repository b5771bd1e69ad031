#include <cstdio>

#include "platform/main_thread_queue.h"
#include "platform/requester.h"
#include "platform/stopwatch.h"

namespace vl::platform {

Stopwatch& LoadStopwatch() {
  static Stopwatch s;
  return s;
}

Stopwatch& SaveStopwatch() {
  static Stopwatch s;
  return s;
}

void ConsoleRequester::Error(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  if (text.empty() || text.back() != '\n') std::fputc('\n', stdout);
  std::fflush(stdout);
}

int ConsoleRequester::Ask(const std::string&, const std::string& text, const std::string&) {
  std::fputs(text.c_str(), stdout);
  if (text.empty() || text.back() != '\n') std::fputc('\n', stdout);
  return defaultAnswer_;
}

namespace {
ConsoleRequester g_console;
Requester* g_requester = nullptr;
}  // namespace

Requester& CurrentRequester() {
  return g_requester ? *g_requester : g_console;
}
void SetRequester(Requester* requester) {
  g_requester = requester;
}

void SimpleMainThreadQueue::Push(std::function<void()> job) {
  std::lock_guard<std::mutex> g(lock_);
  jobs_.push_back(std::move(job));
}

int SimpleMainThreadQueue::RunPending() {
  std::deque<std::function<void()>> jobs;
  {
    std::lock_guard<std::mutex> g(lock_);
    jobs.swap(jobs_);
  }
  for (auto& j : jobs) j();
  return static_cast<int>(jobs.size());
}

}  // namespace vl::platform
