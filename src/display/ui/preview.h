// PreviewClass: the display area widget. It shows the renderer's buffer, sends the render
// commands to its rendering task, and turns wheel, keys and mouse drags into the display's
// zoom, pan and selection changes.
//
// Mouse: left drag pans; middle drag, or Ctrl + left drag, zooms vertically; Shift + left
// drag moves a selection handle (or, away from the handles, starts a new selection); the
// right button opens the "Display" menu; a double click asks for full screen.
#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "display/display.h"
#include "display/display_menu.h"
#include "display/render_task.h"
#include "display/renderer.h"
#include "platform/main_thread_queue.h"

class QMenu;
class QAction;

namespace vl::display::ui {

class PreviewClass : public QWidget {
  Q_OBJECT

 public:
  // The renderer's redraw requests reach the widget through queue (the GUI's own queue
  // when null).
  explicit PreviewClass(QWidget* parent = nullptr, platform::MainThreadQueue* queue = nullptr);
  ~PreviewClass() override;

  // Stops a rendering in progress, then shows img (ARGB32, not owned; null for none) through
  // the colour transform (null: the picture's numbers as they are). The caller keeps img
  // alive until the next SetImage.
  void SetImage(const image::ChunkyImage* img, image::ColourTransformPtr colour = nullptr);
  // Shows the picture through another colour transform (null: its numbers) and renders again.
  void SetColourTransform(image::ColourTransformPtr colour);
  // Renders again after the pixels changed.
  void Refresh();
  void ResetView();

  DisplayOptions Options();
  void ApplyOptions(const DisplayOptions& options);
  void SetContents(int mode);
  int Contents();
  // Forgets the selection rectangle (a new picture has none).
  void ClearSelection();
  // The selection in image coordinates; setting it limits it to the picture, redraws and
  // does not report selectionChanged (that is for the mouse).
  Rect selection();
  void SetSelection(const Rect& r);
  // The width / height ratio that dragging keeps (0 for none); a ratio set now reshapes the
  // selection.
  void SetSelectionAspect(float aspect);
  void SetBackground(uint32_t rgb);
  // A grid of straight lines over the picture, for lining it up (the straighten window's).
  void SetGrid(bool on);
  bool gridShown() const { return grid_; }

  // The information list shown over the first rows; empty for none. The overlay picture
  // is made from it on first use.
  void SetInfoList(const std::vector<std::pair<std::string, std::string>>& list);

  // The scale as 16.16 fixed point.
  int32_t ScaleFixed();
  // The "Display" menu, built on first use; its check marks follow the state.
  QMenu* DisplayMenu();

  // Access for the window and the tests.
  Renderer& renderer() { return renderer_; }
  // Waits until the task has finished the current rendering.
  void WaitRendered();
  // Handles a zoom key given by its Linux key code; true when it was one.
  bool ZoomKey(int linuxKeyCode);

 Q_SIGNALS:
  void scaleChanged(int scaleFixed);
  void colorPicked(quint32 argb);
  void selectionChanged(int x0, int y0, int x1, int y1);
  void fullScreenRequested();
  void rendered();

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void wheelEvent(QWheelEvent*) override;
  void keyPressEvent(QKeyEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void mouseDoubleClickEvent(QMouseEvent*) override;
  void contextMenuEvent(QContextMenuEvent*) override;

 private:
  enum class Drag { kNone, kPan, kZoom, kSelect };
  void Send(int command);
  void AfterZoom(bool changed);
  void PublishScale();
  void UpdateChecks();
  void OnMenuAction(MenuAction action);
  void MakeOverlay();
  void OnRedrawRequest();

  Renderer renderer_;
  QPointer<PreviewClass> self_;
  std::unique_ptr<RenderTask> task_;
  QMenu* menu_ = nullptr;
  std::vector<std::pair<QAction*, MenuAction>> menuActions_;
  std::vector<std::pair<std::string, std::string>> infoList_;
  image::ChunkyPtr overlay_;
  bool overlayDirty_ = false;
  Drag drag_ = Drag::kNone;
  int handle_ = 0;
  QPoint last_;
  int32_t publishedScale_ = -1;
  bool grid_ = false;
};

}  // namespace vl::display::ui
