// The GUI's requester: errors and questions as message boxes over the active window. Runs
// on the GUI thread.
#pragma once

#include <string>

#include "platform/requester.h"

namespace vl::platform::ui {

class QtRequester : public platform::Requester {
 public:
  // A box titled "Error..." with the text and the one button "OK".
  void Error(const std::string& text) override;
  // A box with the buttons of the list ('|' between them, '_' before a shortcut, '*' before
  // the default); the answer is the index of the button pressed, Escape answering the last.
  int Ask(const std::string& title, const std::string& text, const std::string& buttons) override;
};

// Installs a QtRequester as the core's requester for the scope, putting back the console
// requester after.
class ScopedQtRequester {
 public:
  ScopedQtRequester() { platform::SetRequester(&requester_); }
  ~ScopedQtRequester() { platform::SetRequester(nullptr); }
  ScopedQtRequester(const ScopedQtRequester&) = delete;
  ScopedQtRequester& operator=(const ScopedQtRequester&) = delete;

 private:
  QtRequester requester_;
};

}  // namespace vl::platform::ui
