#include "app/browser_step_list.h"

#include "platform/paths.h"

namespace vl::app {

using browser::BrowserView;
using browser::EntryInfo;

int BrowserStepList::SelectedIndex() const {
  BrowserView* v = browser_->view();
  return v ? v->ActiveEntry() : -1;
}

int BrowserStepList::EntryCount() const {
  BrowserView* v = browser_->view();
  return v ? v->EntryCount() : 0;
}

bool BrowserStepList::IsDirectory(int index) const {
  EntryInfo info;
  BrowserView* v = browser_->view();
  return v && v->GetEntryInfo(index, info) && info.isDirectory;
}

bool BrowserStepList::IsPicture(int index) const {
  EntryInfo info;
  BrowserView* v = browser_->view();
  return v && v->GetEntryInfo(index, info) && !info.isDirectory && info.isPicture;
}

std::string BrowserStepList::FullPath(int index) const {
  EntryInfo info;
  BrowserView* v = browser_->view();
  if (!v || !v->GetEntryInfo(index, info)) return {};
  return browser_->FullPath(info.name);
}

void BrowserStepList::Select(int index) {
  BrowserView* v = browser_->view();
  if (!v) return;
  browser_->SetActiveEntry(index);
  EntryInfo info;
  if (index >= 0 && v->GetEntryInfo(index, info) && !info.isDirectory) browser_->Open();
}

void BrowserStepList::SetPath(const std::string& path) {
  browser_->SetCurrentDirectory(path);
}

void BrowserStepList::CurrentFileChanged(const std::string& shownPath) {
  // A picture opened by a relative name is found in the working directory.
  std::string path = platform::AbsolutePath(shownPath);
  std::string dir(platform::PathPart(path));
  if (dir.empty() && !path.empty() && path[0] == '/') dir.assign(1, '/');
  if (dir.empty()) return;
  // The browser follows the picture shown: its directory, with its entry active.
  if (dir != platform::ResolvePath(browser_->CurrentDirectory())) browser_->SetCurrentDirectory(dir);
  if (BrowserView* v = browser_->view()) {
    v->ActivateWhenLoaded(std::string(platform::FilePart(path)));
    // The widgets follow an entry made active at once; one made active when the rows arrive
    // is reported with them.
    if (v->ActiveEntry() >= 0) browser_->SetActiveEntry(v->ActiveEntry());
  }
  alreadyOpen_ = path;
}

bool BrowserStepList::TakeAlreadyOpen(const std::string& path) {
  if (alreadyOpen_.empty() || platform::AbsolutePath(path) != alreadyOpen_) return false;
  alreadyOpen_.clear();
  return true;
}

}  // namespace vl::app
