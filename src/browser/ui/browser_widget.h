// The browser group: a path field with the "History" menu, the volume list above the view
// (the file list or the thumbnail grid, one shown at a time), a "Jump to:" field and the
// status line. It shows a DirBrowser and turns what the user does into its actions: the
// "Action" menu, choosing entries, dropped files, and the watch on the shown directory.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "browser/browser.h"
#include "browser/ui/entry_view_widget.h"

class QCompleter;
class QLabel;
class QLineEdit;
class QMenu;
class QSocketNotifier;
class QSplitter;
class QStackedWidget;
class QTimer;
class QToolButton;

namespace vl::browser::ui {

class VolumeListWidget;

// Makes the widget that shows a core view (null: the view has no widget yet).
using EntryViewFactory = std::function<EntryViewWidget*(BrowserView& view, QWidget* parent)>;

struct BrowserViews {
  BrowserView* list = nullptr;  // the file list's core view
  BrowserView* grid = nullptr;  // the thumbnail grid's
  EntryViewFactory makeList;
  EntryViewFactory makeGrid;
  // Makes the core browser show the grid (true) or the list, keeping directory and entry.
  std::function<void(bool grid)> useGrid;
};

class BrowserWidget : public QWidget {
  Q_OBJECT

 public:
  BrowserWidget(DirBrowser& browser, BrowserViews views, QWidget* parent = nullptr);
  ~BrowserWidget() override;

  DirBrowser& browser() { return browser_; }
  // The list (false) or the grid (true); the directory and the active entry stay.
  void SetThumbnails(bool on);
  bool thumbnails() const { return thumbnails_; }
  // The widget of the shown view (null when it has none).
  EntryViewWidget* currentView() const;
  // Opens the "Action" menu of the entry at position (objectName "actionMenu").
  void ShowActionMenu(int position, const QPoint& globalPos);
  QString statusText() const;

 Q_SIGNALS:
  void thumbnailsChanged(bool on);

 private:
  EntryViewWidget* AddView(const EntryViewFactory& make, BrowserView* view);
  void Changed(BrowserChange change);
  void ArmWatch(int fd);
  void ReadChanges();
  // A click or a keyboard move (activated false), or a double click or Enter.
  void Choose(int position, bool activated);
  void RunAction(int id);
  void GoToTyped();
  void Jump(const QString& text);
  void RebuildHistory();
  void SetStatus(const QString& text);

  DirBrowser& browser_;
  BrowserViews views_;
  bool thumbnails_ = false;
  QLineEdit* path_ = nullptr;
  QCompleter* completer_ = nullptr;
  QToolButton* historyButton_ = nullptr;
  QMenu* historyMenu_ = nullptr;
  QSplitter* split_ = nullptr;
  VolumeListWidget* volumes_ = nullptr;
  QStackedWidget* stack_ = nullptr;
  QWidget* noView_ = nullptr;
  EntryViewWidget* list_ = nullptr;
  EntryViewWidget* grid_ = nullptr;
  QLineEdit* jump_ = nullptr;
  QLabel* status_ = nullptr;
  QSocketNotifier* watch_ = nullptr;
  QTimer* settle_ = nullptr;
  QPointer<QMenu> actionMenu_;
};

}  // namespace vl::browser::ui
