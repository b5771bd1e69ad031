// The "Rename file" window: the entry's name as it is, a field for the new one, and the
// buttons "Rename" and "Cancel".
#pragma once

#include <QDialog>
#include <optional>
#include <string>

class QLineEdit;

namespace vl::browser::ui {

class RenameWindow : public QDialog {
  Q_OBJECT

 public:
  RenameWindow(const QString& originalName, QWidget* parent = nullptr);

  QString newName() const;

  // Runs the window for a file name (bytes as the file system holds them); the new name,
  // or nothing when cancelled or left empty.
  static std::optional<std::string> Ask(const std::string& originalName, QWidget* parent);

 private:
  QLineEdit* name_ = nullptr;
};

}  // namespace vl::browser::ui
