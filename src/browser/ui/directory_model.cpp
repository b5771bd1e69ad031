#include "browser/ui/directory_model.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMimeData>
#include <QStyle>
#include <QUrl>
#include <ctime>
#include <mutex>
#include <vector>

#include "platform/paths.h"

namespace vl::browser::ui {
namespace {

const char* const kColumnTitles[] = {"Name", "Size", "Date", "Type"};
constexpr int kTickMs = 250;

QString FromStd(const std::string& s) {
  return QString::fromStdString(s);
}

Qt::Alignment ColumnAlignment(int column) {
  switch (column) {
    case kColumnName: return Qt::AlignLeft | Qt::AlignVCenter;
    case kColumnSize: return Qt::AlignRight | Qt::AlignVCenter;
    default: return Qt::AlignCenter;
  }
}

// The bubble help of a cell as rich text: ESC b / ESC n switch bold on and off.
QString RichTooltip(const std::string& text) {
  QString out = QStringLiteral("<qt>");
  bool bold = false;
  size_t start = 0;
  auto flush = [&](size_t end) {
    out += FromStd(text.substr(start, end - start)).toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"));
  };
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\x1b' || i + 1 >= text.size()) continue;
    const char code = text[i + 1];
    if (code != 'b' && code != 'n') continue;
    flush(i);
    if (code == 'b' && !bold) out += QStringLiteral("<b>"), bold = true;
    if (code == 'n' && bold) out += QStringLiteral("</b>"), bold = false;
    start = i + 2;
    ++i;
  }
  flush(text.size());
  if (bold) out += QStringLiteral("</b>");
  return out + QStringLiteral("</qt>");
}

bool IsNavigationKey(int key) {
  switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End: return true;
    default: return false;
  }
}

}  // namespace

DirectoryModel::DirectoryModel(DirList& list, QObject* parent)
    : QAbstractTableModel(parent), view_(list), list_(&list) {
  Hook();
}

DirectoryModel::DirectoryModel(ThumbView& thumbs, QObject* parent)
    : QAbstractTableModel(parent), view_(thumbs), thumbs_(&thumbs) {
  Hook();
}

DirectoryModel::~DirectoryModel() {
  if (list_) {
    list_->SetStatusCallback({});
    list_->SetRowChangedCallback({});
  }
  if (thumbs_) {
    thumbs_->SetStatusCallback({});
    thumbs_->SetCellChangedCallback({});
  }
}

void DirectoryModel::Hook() {
  auto status = [this](const std::string& text) { OnStatus(text); };
  auto changed = [this](int row) { OnRowChanged(row); };
  if (list_) {
    list_->SetStatusCallback(status);
    list_->SetRowChangedCallback(changed);
    lastStatus_ = list_->StatusText();
  } else {
    thumbs_->SetStatusCallback(status);
    thumbs_->SetCellChangedCallback(changed);
    lastStatus_ = thumbs_->StatusText();
  }
  rows_ = view_.EntryCount();
}

void DirectoryModel::Rebuild() {
  beginResetModel();
  pictures_.clear();
  rows_ = view_.EntryCount();
  endResetModel();
}

void DirectoryModel::OnStatus(const std::string& text) {
  // A load starts with "Reading..." (the rows are gone) and ends with the first other
  // text (the rows are there); a read that failed only says "Ready...". Progress texts
  // during a scan leave the rows alone.
  const bool wasReading = lastStatus_ == kStatusReading;
  lastStatus_ = text;
  if (text == kStatusReading || wasReading || view_.EntryCount() != rows_) Rebuild();
  // A grid that holds its scan back while hidden says nothing more after "Reading...":
  // look again once the load has returned.
  if (text == kStatusReading)
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (view_.EntryCount() != rows_) Rebuild();
        },
        Qt::QueuedConnection);
  Q_EMIT statusChanged(FromStd(text));
}

void DirectoryModel::OnRowChanged(int row) {
  if (row < 0 || row >= rows_) return;
  pictures_.remove(row);
  Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
}

bool DirectoryModel::IsSelectedInView(int row) {
  if (list_) return list_->IsSelected(row);
  std::lock_guard<std::recursive_mutex> lock(thumbs_->Semaphore());
  const ThumbEntry* e = thumbs_->GetEntry(row);
  return e && e->selected;
}

QString DirectoryModel::FullPath(int row) const {
  EntryInfo info;
  if (!view_.GetEntryInfo(row, info)) return QString();
  std::string path = platform::ResolvePath(view_.Directory());
  if (!platform::AddPart(path, info.name, kMaxPathLength)) return QString();
  return QFile::decodeName(QByteArray::fromStdString(path));
}

QUrl DirectoryModel::FileUrl(int row) const {
  EntryInfo info;
  if (!view_.GetEntryInfo(row, info)) return QUrl();
  std::string path = platform::ResolvePath(view_.Directory());
  if (!platform::AddPart(path, info.name, kMaxPathLength) || path.empty()) return QUrl();
  QByteArray bytes = QByteArray::fromStdString(path);
  if (bytes[0] != '/') bytes = QFile::encodeName(QDir::currentPath()) + '/' + bytes;
  // From the bytes of the name, so that a name that is not UTF-8 still reaches the file.
  return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"), QUrl::StrictMode);
}

QSize DirectoryModel::PictureAreaSize() const {
  if (!thumbs_) return QSize();
  const ThumbViewSettings& s = thumbs_->settings();
  return QSize(s.boxWidth + s.border, s.boxHeight + s.border);
}

int DirectoryModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int DirectoryModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return list_ ? 4 : 1;
}

QVariant DirectoryModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_) return QVariant();
  return list_ ? ListData(index.row(), index.column(), role) : GridData(index.row(), role);
}

QVariant DirectoryModel::ListData(int row, int column, int role) const {
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(ColumnAlignment(column));
  std::lock_guard<std::recursive_mutex> lock(list_->Semaphore());
  const DirEntry* e = list_->GetEntry(row);
  if (!e) return QVariant();
  const bool dir = e->isDirectory != 0;
  switch (role) {
    case Qt::DisplayRole:
      switch (column) {
        case kColumnName: return FromStd(e->name);
        case kColumnSize: return dir ? QString() : FromStd(SizeText(*e));
        case kColumnDate: return FromStd(FormatDateText(e->date, std::time(nullptr)));
        case kColumnType: return FromStd(TypeText(*e));
        default: return QVariant();
      }
    case Qt::DecorationRole:
      if (dir && column == kColumnSize) return QApplication::style()->standardIcon(QStyle::SP_DirIcon);
      return QVariant();
    case Qt::FontRole:
      if (dir && column == kColumnName) {
        QFont f;
        f.setBold(true);
        return f;
      }
      return QVariant();
    case IsDirectoryRole: return dir;
    default: return QVariant();
  }
}

QVariant DirectoryModel::GridData(int row, int role) const {
  switch (role) {
    case Qt::DisplayRole: {
      std::lock_guard<std::recursive_mutex> lock(thumbs_->Semaphore());
      const ThumbEntry* e = thumbs_->GetEntry(row);
      return e ? FromStd(e->label) : QVariant();
    }
    case Qt::ToolTipRole: {
      std::lock_guard<std::recursive_mutex> lock(thumbs_->Semaphore());
      const ThumbEntry* e = thumbs_->GetEntry(row);
      if (!e) return QVariant();
      return e->tooltip ? RichTooltip(*e->tooltip) : FromStd(e->bubbleHelp);
    }
    case IsDirectoryRole: {
      EntryInfo info;
      return view_.GetEntryInfo(row, info) && info.isDirectory;
    }
    case CellPictureRole: {
      QPoint offset;
      return DrawPicture(row, &offset);
    }
    case CellPictureOffsetRole: {
      QPoint offset;
      DrawPicture(row, &offset);
      return offset;
    }
    default: return QVariant();
  }
}

QImage DirectoryModel::DrawPicture(int row, QPoint* offset) const {
  auto cached = pictures_.constFind(row);
  if (cached != pictures_.constEnd()) {
    *offset = cached->offset;
    return cached->image;
  }
  const QSize area = PictureAreaSize();
  Picture p;
  int pw = 0, ph = 0;
  std::vector<uint8_t> buffer(static_cast<size_t>(area.width()) * static_cast<size_t>(area.height()) * 3);
  {
    std::lock_guard<std::recursive_mutex> lock(thumbs_->Semaphore());
    const ThumbEntry* e = thumbs_->GetEntry(row);
    if (e && e->picture.HasPicture()) {
      pw = std::min(e->picture.PictureWidth(), area.width());
      ph = std::min(e->picture.PictureHeight(), area.height());
      p.offset = QPoint(CentreOffset(area.width(), e->picture.PictureWidth()),
                        CentreOffset(area.height(), e->picture.PictureHeight()));
      thumbs_->DrawCell(row, buffer.data());
    }
  }
  if (pw > 0 && ph > 0) {
    QImage whole(buffer.data(), area.width(), area.height(), area.width() * 3, QImage::Format_RGB888);
    p.image = whole.copy(QRect(p.offset, QSize(pw, ph)));
  }
  // A screenful of cells and the next stay drawn; a long scroll starts afresh.
  if (pictures_.size() > 1024) pictures_.clear();
  pictures_.insert(row, p);
  *offset = p.offset;
  return p.image;
}

QVariant DirectoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || !list_ || section < 0 || section > 3) return QVariant();
  if (role == Qt::DisplayRole) return QString::fromLatin1(kColumnTitles[section]);
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(ColumnAlignment(section));
  return QVariant();
}

Qt::ItemFlags DirectoryModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::ItemIsDropEnabled;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

QStringList DirectoryModel::mimeTypes() const {
  return {QStringLiteral("text/uri-list")};
}

QMimeData* DirectoryModel::mimeData(const QModelIndexList& indexes) const {
  std::vector<int> rows;
  for (const QModelIndex& i : indexes)
    if (i.isValid()) rows.push_back(i.row());
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  QList<QUrl> urls;
  for (int r : rows) {
    QUrl url = FileUrl(r);
    if (url.isValid()) urls.push_back(url);
  }
  if (urls.isEmpty()) return nullptr;
  auto* data = new QMimeData;
  data->setUrls(urls);
  return data;
}

QStringList DirectoryModel::DroppedFiles(const QMimeData* data) const {
  QStringList out;
  if (!data || !data->hasUrls()) return out;
  const QString here =
      QDir(QFile::decodeName(QByteArray::fromStdString(platform::ResolvePath(view_.Directory())))).absolutePath();
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) continue;
    const QString path = url.toLocalFile();
    if (path.isEmpty()) continue;
    // Dropping the shown directory's own files back on it would copy them onto themselves.
    if (QFileInfo(path).absolutePath() == here) continue;
    out.push_back(path);
  }
  return out;
}

bool DirectoryModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int, int, const QModelIndex&) const {
  return (action == Qt::CopyAction || action == Qt::MoveAction) && !DroppedFiles(data).isEmpty();
}

bool DirectoryModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                  const QModelIndex& parent) {
  if (!canDropMimeData(data, action, row, column, parent)) return false;
  Q_EMIT filesDropped(DroppedFiles(data));
  // The browser copies the files itself; the view takes no rows from the drop.
  return true;
}

EntryViewBinding::EntryViewBinding(EntryViewWidget& widget, QAbstractItemView& items, DirectoryModel& model)
    : QObject(&widget), widget_(widget), items_(items), model_(model) {
  items_.setModel(&model_);
  items_.setSelectionMode(QAbstractItemView::ExtendedSelection);
  items_.setEditTriggers(QAbstractItemView::NoEditTriggers);
  items_.setDragEnabled(true);
  items_.setAcceptDrops(true);
  items_.viewport()->setAcceptDrops(true);  // a static icon view turns it off
  items_.setDragDropMode(QAbstractItemView::DragDrop);
  items_.setDefaultDropAction(Qt::CopyAction);
  items_.setDropIndicatorShown(false);
  items_.setContextMenuPolicy(Qt::CustomContextMenu);
  items_.installEventFilter(this);

  connect(&model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] { restoring_ = true; });
  connect(&model_, &QAbstractItemModel::modelReset, this, [this] { RestoreFromView(); });
  connect(&model_, &DirectoryModel::statusChanged, &widget_, &EntryViewWidget::statusChanged);
  connect(&model_, &DirectoryModel::filesDropped, &widget_, &EntryViewWidget::filesDropped);
  connect(items_.selectionModel(), &QItemSelectionModel::selectionChanged, this, &EntryViewBinding::OnSelectionChanged);
  connect(items_.selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
    if (!restoring_) model_.view().SetActiveEntry(current.isValid() ? current.row() : -1);
  });
  connect(&items_, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
    // Ctrl and Shift clicks only change the selection.
    if (QGuiApplication::keyboardModifiers() & (Qt::ControlModifier | Qt::ShiftModifier)) return;
    if (index.isValid()) Q_EMIT widget_.entryClicked(index.row());
  });
  connect(&items_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
    if (index.isValid()) Q_EMIT widget_.entryActivated(index.row());
  });
  connect(&items_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    const QModelIndex index = items_.indexAt(pos);
    if (!index.isValid()) return;
    if (!items_.selectionModel()->isRowSelected(index.row(), QModelIndex())) SetCurrent(index.row());
    Q_EMIT widget_.contextMenuRequested(index.row(), items_.viewport()->mapToGlobal(pos));
  });

  timer_.setInterval(kTickMs);
  connect(&timer_, &QTimer::timeout, this, &EntryViewBinding::Tick);
}

void EntryViewBinding::Tick() {
  if (model_.view().TimerInstalled()) model_.view().TimerTick();
}

void EntryViewBinding::SetShown(bool shown) {
  // The timer stays with the visible widget: the core installs and removes its own timer
  // (a rescan can install it at any time) and the tick asks for it each time.
  if (shown) {
    timer_.start();
  } else {
    timer_.stop();
  }
}

void EntryViewBinding::OnSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
  if (restoring_) return;
  BrowserView& view = model_.view();
  auto apply = [&](const QItemSelection& sel, bool on) {
    for (const QItemSelectionRange& r : sel) {
      for (int row = r.top(); row <= r.bottom(); ++row) {
        view.SelectEntry(row, on);
        model_.ForgetPicture(row);
      }
    }
  };
  apply(deselected, false);
  apply(selected, true);
}

void EntryViewBinding::RestoreFromView() {
  restoring_ = true;
  QItemSelection sel;
  const int rows = model_.rowCount();
  const int lastColumn = model_.columnCount() - 1;
  for (int row = 0; row < rows; ++row) {
    if (!model_.IsSelectedInView(row)) continue;
    int end = row;
    while (end + 1 < rows && model_.IsSelectedInView(end + 1)) ++end;
    sel.select(model_.index(row, 0), model_.index(end, lastColumn));
    row = end;
  }
  QItemSelectionModel* sm = items_.selectionModel();
  sm->select(sel, QItemSelectionModel::ClearAndSelect);
  const int active = model_.view().ActiveEntry();
  sm->setCurrentIndex(active >= 0 ? model_.index(active, 0) : QModelIndex(), QItemSelectionModel::NoUpdate);
  restoring_ = false;
}

void EntryViewBinding::Reload() {
  model_.Rebuild();
  const int active = model_.view().ActiveEntry();
  if (active >= 0) items_.scrollTo(model_.index(active, 0));
}

void EntryViewBinding::SetCurrent(int position) {
  // Called from the view's loaded callback the rows may not have been taken yet.
  if (model_.rowCount() != model_.view().EntryCount()) model_.Rebuild();
  QItemSelectionModel* sm = items_.selectionModel();
  if (position < 0 || position >= model_.rowCount()) {
    sm->clearSelection();
    sm->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    model_.view().SetActiveEntry(-1);
    return;
  }
  const QModelIndex index = model_.index(position, 0);
  sm->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  items_.scrollTo(index);
}

int EntryViewBinding::Current() const {
  const QModelIndex index = items_.currentIndex();
  return index.isValid() ? index.row() : -1;
}

bool EntryViewBinding::eventFilter(QObject* watched, QEvent* event) {
  if (watched != &items_ || event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (Current() >= 0) Q_EMIT widget_.entryActivated(Current());
      return true;
    case Qt::Key_Backspace: Q_EMIT widget_.parentRequested(); return true;
    default: break;
  }
  if (!IsNavigationKey(key->key())) return false;
  // Let the view move, then report where it went.
  const int before = Current();
  static_cast<QObject&>(items_).event(event);
  const int after = Current();
  if (after >= 0 && after != before) Q_EMIT widget_.currentMoved(after);
  return true;
}

}  // namespace vl::browser::ui
