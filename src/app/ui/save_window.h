// "Save image...": the current picture saved as JPEG, PNG or IFF. The format list, the
// "Path:" field with the suggested name, "_Save", "Save _As..." (a file requester first),
// "C_onfig..." (the selected format's options window) and "_Cancel". The options windows
// are created with it and keep their values for the run.
#pragma once

#include <QDialog>
#include <QString>

#include "app/controller.h"
#include "app/save.h"
#include "platform/main_thread_queue.h"
#include "settings/settings.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace vl::app::ui {

class JpegOptionsWindow;
class PngOptionsWindow;

class SaveWindow : public QDialog {
  Q_OBJECT

 public:
  // controller and prefs outlive the window; "Replace file suffix:" is read from prefs each
  // time a name is suggested. The JPEG test reports back through queue (the GUI's own
  // queue when null).
  SaveWindow(app::Controller& controller, const settings::Settings& prefs, QWidget* parent = nullptr,
             platform::MainThreadQueue* queue = nullptr);
  ~SaveWindow() override;

  // Opens the window with the name suggested for the current picture. Without a current
  // picture nothing opens and the result is false. An open window is only raised.
  bool Open();

  app::SaveFormat format() const;
  // The values of the two options windows.
  app::SaveOptions options() const;

 public Q_SLOTS:
  // "_Save": saves the current picture to the path in the chosen format. On success the
  // window closes; on failure an error requester says why and the window stays open.
  bool Save();
  // "Save _As...": asks for the file first, starting from the path; cancelling saves nothing.
  void SaveAs();
  // "C_onfig...": opens the options window of the selected format (IFF has none); this
  // window takes no input until it closes.
  void Config();

 Q_SIGNALS:
  // A picture was written to path.
  void saved(const QString& path);
  // An options window opened (true) or closed (false): the menus follow the tool-window
  // rule meanwhile (MainWindow::SetToolWindowOpen).
  void optionsWindowOpen(bool open);

 private:
  void FormatChanged();

  app::Controller& controller_;
  const settings::Settings& prefs_;
  QWidget* body_ = nullptr;
  QListWidget* formats_ = nullptr;
  QLineEdit* path_ = nullptr;
  QPushButton* config_ = nullptr;
  JpegOptionsWindow* jpeg_ = nullptr;
  PngOptionsWindow* png_ = nullptr;
};

}  // namespace vl::app::ui
