// The volume list: mounted volumes and assigns in two columns, "Volume" and "Device",
// with a symbol for the kind of each. Choosing a row reports the place it stands for.
#pragma once

#include <QTreeWidget>

#include "browser/volumes.h"

namespace vl::browser::ui {

class VolumeListWidget : public QTreeWidget {
  Q_OBJECT

 public:
  explicit VolumeListWidget(QWidget* parent = nullptr);

  // Reads the volumes of this machine again.
  void Fill();
  // Shows the given rows (in the order given).
  void Show(const std::vector<VolumeEntry>& entries);

 Q_SIGNALS:
  // A row was clicked or activated: its directory (bytes as the file system holds them).
  void volumeChosen(const QByteArray& path);
};

}  // namespace vl::browser::ui
