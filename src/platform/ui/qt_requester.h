// The GUI's requesters: message boxes over the active window.
#pragma once

#include <string>

#include "platform/requester.h"

namespace vl::platform::ui {

class QtRequester : public Requester {
 public:
  // Title "Error...", one button "OK".
  void Error(const std::string& text) override;
  // Buttons from "*_Replace|Replace _All|Abort ": '|' separates them, '_' marks the shortcut
  // key, a leading '*' the default button. Returns the index of the button pressed; closing
  // the requester answers the last button (the one that cancels).
  int Ask(const std::string& title, const std::string& text, const std::string& buttons) override;
};

// Installs a QtRequester as the core's requester for the life of the object.
class ScopedQtRequester {
 public:
  ScopedQtRequester();
  ~ScopedQtRequester();
  ScopedQtRequester(const ScopedQtRequester&) = delete;
  ScopedQtRequester& operator=(const ScopedQtRequester&) = delete;

 private:
  QtRequester requester_;
};

}  // namespace vl::platform::ui
