// The browser as the controller's list: next and previous picture step through the
// entries of the browser's view in the order it shows them.
#pragma once

#include <string>

#include "app/controller.h"
#include "browser/browser.h"

namespace vl::app {

class BrowserStepList : public BrowserList {
 public:
  explicit BrowserStepList(browser::DirBrowser& browser) : browser_(&browser) {}

  int SelectedIndex() const override;
  int EntryCount() const override;
  bool IsDirectory(int index) const override;
  bool IsPicture(int index) const override;
  std::string FullPath(int index) const override;
  // Makes the entry active; a file is then opened through the browser's open callback.
  void Select(int index) override;
  void SetPath(const std::string& path) override;
  // Shows the file's directory (when it is not shown already) with the file's entry active.
  void CurrentFileChanged(const std::string& path) override;

 private:
  browser::DirBrowser* browser_;
};

}  // namespace vl::app
