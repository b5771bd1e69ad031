#include "browser/ui/thumb_grid_widget.h"

#include <QEvent>
#include <QListView>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

#include "browser/ui/directory_model.h"

namespace vl::browser::ui {
namespace {

constexpr int kLabelPadding = 4;
constexpr int kPrioritizeDelayMs = 80;

// Draws a cell: the picture area (the core draws the picture, brightened when the cell is
// selected) and the name below it.
class CellDelegate : public QStyledItemDelegate {
 public:
  CellDelegate(ThumbGridWidget& grid, DirectoryModel& model) : QStyledItemDelegate(&grid), grid_(grid), model_(model) {}

  void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    p->save();
    const QRect cell = option.rect;
    const QSize area = model_.PictureAreaSize();
    p->fillRect(cell, option.palette.base());
    const QPoint areaTopLeft(cell.x() + (cell.width() - area.width()) / 2, cell.y());
    p->setClipRect(QRect(areaTopLeft, area).intersected(cell));
    const QImage picture = index.data(DirectoryModel::CellPictureRole).value<QImage>();
    if (!picture.isNull())
      p->drawImage(areaTopLeft + index.data(DirectoryModel::CellPictureOffsetRole).toPoint(), picture);
    p->setClipping(false);

    const bool selected = option.state & QStyle::State_Selected;
    const QRect label(cell.x(), cell.y() + area.height(), cell.width(), cell.height() - area.height());
    if (selected) p->fillRect(label, option.palette.highlight());
    p->setPen(selected ? option.palette.color(QPalette::HighlightedText) : option.palette.color(QPalette::Text));
    p->setFont(option.font);
    const QString name =
        option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle, label.width() - 2);
    p->drawText(label, Qt::AlignHCenter | Qt::AlignVCenter, name);
    if (option.state & QStyle::State_HasFocus) {
      QPen pen(option.palette.color(QPalette::Highlight));
      pen.setStyle(Qt::DotLine);
      p->setPen(pen);
      p->drawRect(cell.adjusted(0, 0, -1, -1));
    }
    p->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return grid_.CellSize(); }

 private:
  ThumbGridWidget& grid_;
  DirectoryModel& model_;
};

}  // namespace

ThumbGridWidget::ThumbGridWidget(ThumbView& thumbs, QWidget* parent)
    : EntryViewWidget(parent), thumbs_(thumbs), grid_(new QListView(this)), model_(new DirectoryModel(thumbs, this)) {
  setObjectName(QStringLiteral("thumbnailGrid"));
  grid_->setObjectName(QStringLiteral("thumbnailGridView"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(grid_);
  setFocusProxy(grid_);

  grid_->setViewMode(QListView::IconMode);
  grid_->setMovement(QListView::Static);
  grid_->setFlow(QListView::LeftToRight);
  grid_->setWrapping(true);
  grid_->setResizeMode(QListView::Adjust);
  grid_->setUniformItemSizes(true);
  grid_->setSpacing(0);
  grid_->setGridSize(CellSize());
  grid_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  grid_->verticalScrollBar()->setSingleStep(CellSize().height() / 4);
  grid_->setItemDelegate(new CellDelegate(*this, *model_));
  binding_ = new EntryViewBinding(*this, *grid_, *model_);
  grid_->setSelectionRectVisible(true);

  prioritize_.setSingleShot(true);
  prioritize_.setInterval(kPrioritizeDelayMs);
  connect(&prioritize_, &QTimer::timeout, this, &ThumbGridWidget::PrioritizeVisible);
  connect(grid_->verticalScrollBar(), &QScrollBar::valueChanged, &prioritize_, qOverload<>(&QTimer::start));
  connect(model_, &QAbstractItemModel::modelReset, &prioritize_, qOverload<>(&QTimer::start));
  grid_->viewport()->installEventFilter(this);
}

ThumbGridWidget::~ThumbGridWidget() = default;

BrowserView& ThumbGridWidget::view() {
  return thumbs_;
}

QSize ThumbGridWidget::CellSize() const {
  const QSize area = model_->PictureAreaSize();
  return QSize(area.width(), area.height() + fontMetrics().height() + kLabelPadding);
}

int ThumbGridWidget::CellsPerRow() const {
  return std::max(1, grid_->viewport()->width() / CellSize().width());
}

std::pair<int, int> ThumbGridWidget::VisibleCells() const {
  const QSize cell = CellSize();
  const QModelIndex first = grid_->indexAt(QPoint(cell.width() / 2, cell.height() / 2));
  if (!first.isValid()) return {-1, -1};
  const int perRow = CellsPerRow();
  const int rowsShown = (grid_->viewport()->height() + cell.height() - 1) / cell.height() + 1;
  const int firstCell = first.row() - first.row() % perRow;
  const int lastCell = std::min(model_->rowCount() - 1, firstCell + perRow * rowsShown - 1);
  return {firstCell, lastCell};
}

void ThumbGridWidget::PrioritizeVisible() {
  const auto [first, last] = VisibleCells();
  if (first < 0) return;
  // The cells on screen, then the next screenful.
  thumbs_.PrioritizeRange(first, last + (last - first + 1));
}

void ThumbGridWidget::Reload() {
  // The thumbnail box may have changed with the settings.
  if (grid_->gridSize() != CellSize()) {
    grid_->setGridSize(CellSize());
    grid_->verticalScrollBar()->setSingleStep(CellSize().height() / 4);
  }
  binding_->Reload();
}

void ThumbGridWidget::SetCurrent(int position) {
  binding_->SetCurrent(position);
}

int ThumbGridWidget::Current() const {
  return binding_->Current();
}

bool ThumbGridWidget::eventFilter(QObject* watched, QEvent* event) {
  if (watched == grid_->viewport() && event->type() == QEvent::Resize) prioritize_.start();
  return EntryViewWidget::eventFilter(watched, event);
}

void ThumbGridWidget::showEvent(QShowEvent* event) {
  EntryViewWidget::showEvent(event);
  thumbs_.SetShown(true);
  binding_->SetShown(true);
  prioritize_.start();
}

void ThumbGridWidget::hideEvent(QHideEvent* event) {
  thumbs_.SetShown(false);
  binding_->SetShown(false);
  EntryViewWidget::hideEvent(event);
}

}  // namespace vl::browser::ui
