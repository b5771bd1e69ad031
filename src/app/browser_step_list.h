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
  // Shows the file's directory (when it is not shown already) with the file's entry active,
  // now or when the view's rows arrive, and remembers the file as already open.
  void CurrentFileChanged(const std::string& path) override;
  // True once for the file last reported by CurrentFileChanged: its later choice in the
  // browser (the view selecting the row it was given) is not to open it again.
  bool TakeAlreadyOpen(const std::string& path);

 private:
  browser::DirBrowser* browser_;
  std::string alreadyOpen_;
};

}  // namespace vl::app
