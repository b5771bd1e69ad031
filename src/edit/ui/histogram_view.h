// The Levels window's histogram: the counts of the picture's channels (edit::Histogram) drawn
// as curves, with the two level markers over them. The view only draws what it is given.
#pragma once

#include <QWidget>

#include "edit/levels_tool.h"

namespace vl::edit::ui {

class HistogramView : public QWidget {
  Q_OBJECT

 public:
  explicit HistogramView(QWidget* parent = nullptr);

  void setHistogram(const Histogram& histogram);
  const Histogram& histogram() const { return histogram_; }
  // Shows the alpha channel alone instead of the luminance and the colours.
  void setAlphaOnly(bool alphaOnly);
  bool alphaOnly() const { return alphaOnly_; }
  void setMarkers(int low, int high);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Histogram histogram_;
  bool alphaOnly_ = false;
  int low_ = 0;
  int high_ = 255;
};

}  // namespace vl::edit::ui
