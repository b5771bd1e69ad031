// Helpers for the browser tests: small picture files, a scripted requester, and waiting
// for a view's scanner the way the GUI timer would.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "browser/view.h"
#include "platform/requester.h"

namespace vl::test {

// Writes a PNG of the given size (RGB, a simple gradient). False on failure.
bool WritePng(const std::string& path, int width, int height);
// Writes a baseline JPEG of the given size; with thumbWidth > 0 an EXIF block carrying a
// JPEG thumbnail of thumbWidth x thumbHeight comes first.
bool WriteJpeg(const std::string& path, int width, int height, int thumbWidth = 0, int thumbHeight = 0);

// Ticks the view until its scanner has finished (bounded: gives up after about a minute).
inline bool WaitForScan(browser::BrowserView& view) {
  for (int i = 0; i < 6000 && view.Scanning(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    view.TimerTick();
  }
  view.TimerTick();
  return !view.Scanning();
}

// Answers questions from a script and records what was asked.
class ScriptedRequester : public platform::Requester {
 public:
  struct Question {
    std::string title, text, buttons;
  };
  std::deque<int> answers;  // an empty script answers with the last button
  std::vector<Question> questions;
  std::vector<std::string> errors;

  void Error(const std::string& text) override { errors.push_back(text); }
  int Ask(const std::string& title, const std::string& text, const std::string& buttons) override {
    questions.push_back({title, text, buttons});
    if (answers.empty()) {
      int n = 0;
      for (char c : buttons) n += c == '|';
      return n;
    }
    int a = answers.front();
    answers.pop_front();
    return a;
  }
};

// Installs a requester for the scope.
class RequesterScope {
 public:
  explicit RequesterScope(platform::Requester* r) { platform::SetRequester(r); }
  ~RequesterScope() { platform::SetRequester(nullptr); }
};

}  // namespace vl::test
