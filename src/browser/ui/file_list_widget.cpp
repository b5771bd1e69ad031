#include "browser/ui/file_list_widget.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>

#include "browser/ui/directory_model.h"

namespace vl::browser::ui {
namespace {

// Puts the drawer symbol of a directory row where the sizes stand: at the right.
class ListDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.column() == kColumnSize) {
      option->decorationPosition = QStyleOptionViewItem::Right;
      option->decorationAlignment = Qt::AlignRight | Qt::AlignVCenter;
    }
  }
};

}  // namespace

FileListWidget::FileListWidget(DirList& list, QWidget* parent)
    : EntryViewWidget(parent), list_(list), tree_(new QTreeView(this)), model_(new DirectoryModel(list, this)) {
  setObjectName(QStringLiteral("fileList"));
  tree_->setObjectName(QStringLiteral("fileListView"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(tree_);
  setFocusProxy(tree_);

  tree_->setRootIsDecorated(false);
  tree_->setItemsExpandable(false);
  tree_->setUniformRowHeights(true);
  tree_->setAllColumnsShowFocus(true);
  tree_->setSelectionBehavior(QAbstractItemView::SelectRows);
  tree_->setItemDelegate(new ListDelegate(tree_));
  binding_ = new EntryViewBinding(*this, *tree_, *model_);

  QHeaderView* header = tree_->header();
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(true);
  header->setStretchLastSection(false);
  header->setSectionResizeMode(kColumnName, QHeaderView::Stretch);
  const QFontMetrics fm(font());
  header->resizeSection(kColumnSize, fm.horizontalAdvance(QStringLiteral("000000000")) + 12);
  header->resizeSection(kColumnDate, fm.horizontalAdvance(QStringLiteral("Wednesday 00")) + 12);
  header->resizeSection(kColumnType, fm.horizontalAdvance(QStringLiteral("Directory00")) + 12);
  connect(header, &QHeaderView::sectionClicked, this, &FileListWidget::SortBy);
  ShowSortIndicator();
}

FileListWidget::~FileListWidget() = default;

BrowserView& FileListWidget::view() {
  return list_;
}

void FileListWidget::Reload() {
  binding_->Reload();
}

void FileListWidget::SetCurrent(int position) {
  binding_->SetCurrent(position);
}

int FileListWidget::Current() const {
  return binding_->Current();
}

void FileListWidget::SortBy(int column) {
  // The core list sorts (its comparison keeps the directories together); the rows keep
  // their selection through it.
  list_.ClickColumnTitle(column);
  binding_->Reload();
  ShowSortIndicator();
}

void FileListWidget::ShowSortIndicator() {
  tree_->header()->setSortIndicator(list_.SortColumn(), list_.Reverse() ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void FileListWidget::showEvent(QShowEvent* event) {
  EntryViewWidget::showEvent(event);
  list_.SetShown(true);
  binding_->SetShown(true);
}

void FileListWidget::hideEvent(QHideEvent* event) {
  list_.SetShown(false);
  binding_->SetShown(false);
  EntryViewWidget::hideEvent(event);
}

}  // namespace vl::browser::ui
