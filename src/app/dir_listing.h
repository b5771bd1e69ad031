// A plain file list for running without the browser: the entries of one directory,
// directories first, each group in name order without regard to case.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/controller.h"

namespace vl::app {

class DirectoryListing : public BrowserList {
 public:
  // Called with the full path when a file entry is selected (the controller's OpenPicture).
  using ChosenCallback = std::function<void(const std::string& path)>;

  void SetChosenCallback(ChosenCallback cb) { chosen_ = std::move(cb); }

  int SelectedIndex() const override { return selected_; }
  int EntryCount() const override { return static_cast<int>(entries_.size()); }
  bool IsDirectory(int index) const override;
  bool IsPicture(int /*index*/) const override { return false; }
  std::string FullPath(int index) const override;
  void Select(int index) override;
  void SetPath(const std::string& path) override;
  void CurrentFileChanged(const std::string& path) override;

  const std::string& directory() const { return directory_; }
  const std::string& Name(int index) const { return entries_[static_cast<size_t>(index)].name; }

 private:
  struct Entry {
    std::string name;
    bool directory = false;
  };
  void Scan(const std::string& dir);

  std::string directory_;
  std::vector<Entry> entries_;
  int selected_ = -1;
  ChosenCallback chosen_;
};

}  // namespace vl::app
