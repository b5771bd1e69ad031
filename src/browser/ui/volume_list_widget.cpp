#include "browser/ui/volume_list_widget.h"

#include <QFile>
#include <QHeaderView>
#include <QStyle>

namespace vl::browser::ui {

namespace {
constexpr int kPathRole = Qt::UserRole + 1;

QStyle::StandardPixmap KindSymbol(int32_t kind) {
  switch (kind) {
    case kVolumeOnDevice: return QStyle::SP_DriveHDIcon;
    case kVolumeInMemory: return QStyle::SP_DriveFDIcon;
    default: return QStyle::SP_DirLinkIcon;
  }
}
}  // namespace

VolumeListWidget::VolumeListWidget(QWidget* parent) : QTreeWidget(parent) {
  setObjectName(QStringLiteral("volumeList"));
  setColumnCount(2);
  setHeaderLabels({QStringLiteral("Volume"), QStringLiteral("Device")});
  headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(0, QHeaderView::Stretch);
  header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  auto choose = [this](QTreeWidgetItem* item) {
    if (item) Q_EMIT volumeChosen(item->data(0, kPathRole).toByteArray());
  };
  connect(this, &QTreeWidget::itemClicked, this, choose);
  connect(this, &QTreeWidget::itemActivated, this, choose);
}

void VolumeListWidget::Fill() {
  VolumeList volumes;
  volumes.Fill();
  Show(volumes.entries());
}

void VolumeListWidget::Show(const std::vector<VolumeEntry>& entries) {
  clear();
  for (const VolumeEntry& e : entries) {
    auto* item = new QTreeWidgetItem(this);
    item->setText(0, QFile::decodeName(QByteArray::fromStdString(e.nameText)));
    item->setIcon(0, style()->standardIcon(KindSymbol(e.kind)));
    item->setText(1, QFile::decodeName(QByteArray::fromStdString(e.deviceText)));
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    item->setData(0, kPathRole, QByteArray::fromStdString(e.path));
    item->setToolTip(0, QFile::decodeName(QByteArray::fromStdString(e.path)));
  }
  setCurrentItem(nullptr);
}

}  // namespace vl::browser::ui
