// The thumbnail grid: one fixed-size cell per entry, the picture above the name, in rows
// that reflow with the width. Only the cells on screen are drawn, and the scanner is told
// to make the pictures of the cells on screen (and of the next screenful) first.
#pragma once

#include <QSize>
#include <QTimer>

#include "browser/thumb_view.h"
#include "browser/ui/entry_view_widget.h"

class QListView;

namespace vl::browser::ui {

class DirectoryModel;
class EntryViewBinding;

class ThumbGridWidget : public EntryViewWidget {
  Q_OBJECT

 public:
  // Shows thumbs (not owned; it outlives the widget).
  explicit ThumbGridWidget(ThumbView& thumbs, QWidget* parent = nullptr);
  ~ThumbGridWidget() override;

  BrowserView& view() override;
  ThumbView& thumbs() { return thumbs_; }
  void Reload() override;
  void SetCurrent(int position) override;
  int Current() const override;

  QListView* grid() const { return grid_; }
  DirectoryModel* model() const { return model_; }
  // The size of one cell: the picture area with the name line below it.
  QSize CellSize() const;
  // How many cells a row holds at the present width.
  int CellsPerRow() const;
  // The cells at least partly on screen (first, last); (-1, -1) when there are none.
  std::pair<int, int> VisibleCells() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void PrioritizeVisible();

  ThumbView& thumbs_;
  QListView* grid_;
  DirectoryModel* model_;
  EntryViewBinding* binding_;
  QTimer prioritize_;  // coalesces scrolls and resizes
};

}  // namespace vl::browser::ui
