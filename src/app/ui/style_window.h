// "MUI...": a small window that chooses the widget style among those the toolkit offers.
#pragma once

#include <QDialog>
#include <QString>

class QComboBox;

namespace vl::app::ui {

class StyleWindow : public QDialog {
  Q_OBJECT

 public:
  explicit StyleWindow(const QString& current, QWidget* parent = nullptr);
  // The style chosen when the window was accepted.
  QString chosen() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QComboBox* styles_ = nullptr;
};

}  // namespace vl::app::ui
