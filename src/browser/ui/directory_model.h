// The Qt side of a browser view: a table model over the file list or the thumbnail grid
// (one row per entry), and the binding that keeps an item view, the core view's selection
// and active entry, and the widget's signals in step.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QImage>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <string>

#include "browser/dir_list.h"
#include "browser/thumb_view.h"
#include "browser/ui/entry_view_widget.h"

class QAbstractItemView;
class QItemSelection;

namespace vl::browser::ui {

class DirectoryModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Role {
    // The grid: the drawn part of the cell's picture area (QImage, empty while there is
    // no picture) and where it lies in the area (QPoint).
    CellPictureRole = Qt::UserRole + 1,
    CellPictureOffsetRole,
    IsDirectoryRole,
  };

  // The file list: four columns. The model hooks the view's status and row callbacks.
  explicit DirectoryModel(DirList& list, QObject* parent = nullptr);
  // The thumbnail grid: one column, the name, and the cell's picture.
  explicit DirectoryModel(ThumbView& thumbs, QObject* parent = nullptr);
  ~DirectoryModel() override;

  BrowserView& view() { return view_; }
  DirList* list() { return list_; }
  ThumbView* thumbs() { return thumbs_; }

  // Takes the rows from the view again (after a load, a sort, a rename or a removal).
  void Rebuild();
  // Whether the core view has the entry selected.
  bool IsSelectedInView(int row);
  // The entry's full path.
  QString FullPath(int row) const;
  // The entry as a file URL (what a drag out carries); invalid when it has none.
  QUrl FileUrl(int row) const;
  // The size of a grid cell's picture area.
  QSize PictureAreaSize() const;
  // Forgets the drawn picture of a cell (its picture or selection changed).
  void ForgetPicture(int row) { pictures_.remove(row); }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }
  Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }
  bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                       const QModelIndex& parent) const override;
  bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                    const QModelIndex& parent) override;
  // The local files of a drop that do not already lie in the shown directory.
  QStringList DroppedFiles(const QMimeData* data) const;

 Q_SIGNALS:
  void statusChanged(const QString& text);
  void filesDropped(const QStringList& paths);

 private:
  void Hook();
  void OnStatus(const std::string& text);
  void OnRowChanged(int row);
  QVariant ListData(int row, int column, int role) const;
  QVariant GridData(int row, int role) const;
  QImage DrawPicture(int row, QPoint* offset) const;

  BrowserView& view_;
  DirList* list_ = nullptr;
  ThumbView* thumbs_ = nullptr;
  int rows_ = 0;
  std::string lastStatus_;
  struct Picture {
    QImage image;
    QPoint offset;
  };
  mutable QHash<int, Picture> pictures_;
};

// Ties an item view showing a DirectoryModel to the core view and to the widget's signals:
// selection and current row go to the core view; clicks, keys, the context menu and drops
// become the widget's signals; the 250 ms timer ticks the core view while it scans.
class EntryViewBinding : public QObject {
  Q_OBJECT

 public:
  EntryViewBinding(EntryViewWidget& widget, QAbstractItemView& items, DirectoryModel& model);

  void SetCurrent(int position);
  int Current() const;
  // Rebuilds the model and restores the selection and current row from the core view.
  void Reload();
  // Starts or stops the timer with the widget's visibility.
  void SetShown(bool shown);
  QTimer& timer() { return timer_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void RestoreFromView();
  void OnSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
  void Tick();

  EntryViewWidget& widget_;
  QAbstractItemView& items_;
  DirectoryModel& model_;
  QTimer timer_;
  bool restoring_ = false;
};

}  // namespace vl::browser::ui
