// The Insert alpha window: "Alpha image:" (a file field with a file requester), "_Resize alpha
// image:" and "_Negative of alpha image:", and a preview of the grey alpha picture as the last
// run inserted it. A file that does not load leaves the picture as it was; the tool's requester
// says why.
//
// The tool keeps the alpha picture of its last run, so the window runs it on the GUI thread
// (ApplyInsertAlpha, the step of the scripting port) rather than on the preview worker.
#pragma once

#include <QString>

#include "edit/composite_ops.h"
#include "edit/ui/tool_window.h"
#include "filters/insert_alpha.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace vl::edit::ui {

class InsertAlphaWindow : public ToolWindow {
  Q_OBJECT

 public:
  explicit InsertAlphaWindow(app::Controller& controller, QWidget* parent = nullptr);
  ~InsertAlphaWindow() override;

  InsertAlphaParams parameters() const;
  void SetFile(const QString& file);
  // The alpha picture the preview shows; null before a successful run.
  const image::Texture* alphaPicture() const { return tool_.Preview(); }

 protected:
  void PreviewStep() override;
  void StartExecute() override;

 private:
  // The file requester "Select alpha image...".
  void ChooseFile();
  // Runs the tool on the edit backup into the picture; true when it succeeded.
  bool RunTool();
  // Shows the tool's alpha picture (or nothing) in the preview.
  void ShowAlphaPicture();

  filters::InsertAlphaTool tool_;
  QLineEdit* file_ = nullptr;
  QCheckBox* resize_ = nullptr;
  QCheckBox* negative_ = nullptr;
  QLabel* preview_ = nullptr;
};

}  // namespace vl::edit::ui
