// What the browser group asks of the widget that shows its view: the file list (a table
// with the four columns) or the thumbnail grid. Both show one core view (browser/view.h),
// keep its selection and active entry in step with what the user selects, drive its
// 250 ms timer while it scans, and report what the user chose; the browser group carries
// out the file actions.
#pragma once

#include <QPoint>
#include <QStringList>
#include <QWidget>

#include "browser/view.h"

namespace vl::browser::ui {

class EntryViewWidget : public QWidget {
  Q_OBJECT

 public:
  using QWidget::QWidget;

  // The core view shown.
  virtual BrowserView& view() = 0;
  // The view read a directory or its entries changed as a whole (rename, removal, re-sort):
  // rebuild the rows or cells from it.
  virtual void Reload() = 0;
  // Makes the entry the only selected and the active one and scrolls it into sight (-1: none).
  virtual void SetCurrent(int position) = 0;
  virtual int Current() const = 0;

 Q_SIGNALS:
  // A click on an entry (the browser opens a picture at once).
  void entryClicked(int position);
  // A double click or Enter on an entry (a directory is entered, a picture opened).
  void entryActivated(int position);
  // The keyboard moved the active entry (arrow keys, Page Up/Down, Home, End).
  void currentMoved(int position);
  // Backspace: show the parent directory.
  void parentRequested();
  // A right click on an entry; the browser shows its "Action" menu there.
  void contextMenuRequested(int position, const QPoint& globalPos);
  // Local files dropped on the view from another program.
  void filesDropped(const QStringList& paths);
  // The view's status text changed ("Reading...", "Scanned %d of %d files...", "Ready...").
  void statusChanged(const QString& text);
};

}  // namespace vl::browser::ui
