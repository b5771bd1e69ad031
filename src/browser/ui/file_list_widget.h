// The file list: the entries of one directory in four columns ("Name", "Size", "Date",
// "Type"), sorted by the column whose title was clicked (a second click reverses), with
// several rows selectable. The rows follow the core list as it reads the directory and
// finds the files' types.
#pragma once

#include "browser/dir_list.h"
#include "browser/ui/entry_view_widget.h"

class QTreeView;

namespace vl::browser::ui {

class DirectoryModel;
class EntryViewBinding;

class FileListWidget : public EntryViewWidget {
  Q_OBJECT

 public:
  // Shows list (not owned; it outlives the widget).
  explicit FileListWidget(DirList& list, QWidget* parent = nullptr);
  ~FileListWidget() override;

  BrowserView& view() override;
  DirList& list() { return list_; }
  void Reload() override;
  void SetCurrent(int position) override;
  int Current() const override;

  QTreeView* tree() const { return tree_; }
  DirectoryModel* model() const { return model_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void SortBy(int column);
  void ShowSortIndicator();

  DirList& list_;
  QTreeView* tree_;
  DirectoryModel* model_;
  EntryViewBinding* binding_;
};

}  // namespace vl::browser::ui
