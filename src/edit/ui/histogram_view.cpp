#include "edit/ui/histogram_view.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <vector>

namespace vl::edit::ui {

HistogramView::HistogramView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("histogram"));
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void HistogramView::setHistogram(const Histogram& histogram) {
  histogram_ = histogram;
  update();
}

void HistogramView::setAlphaOnly(bool alphaOnly) {
  alphaOnly_ = alphaOnly;
  update();
}

void HistogramView::setMarkers(int low, int high) {
  low_ = low;
  high_ = high;
  update();
}

QSize HistogramView::sizeHint() const {
  return {258, 110};
}

QSize HistogramView::minimumSizeHint() const {
  return {130, 110};
}

void HistogramView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  p.fillRect(rect(), palette().base());
  const QRectF plot = frame.adjusted(2, 4, -2, -2);
  auto x = [&](double v) { return plot.left() + v * plot.width() / 256.0; };

  const std::vector<int> curves =
      alphaOnly_ ? std::vector<int>{kHistogramAlpha}
                 : std::vector<int>{kHistogramLuminance, kHistogramRed, kHistogramGreen, kHistogramBlue};
  // Each curve fills the height on its own: one channel of a single value would otherwise
  // flatten every other curve to nothing.
  p.setRenderHint(QPainter::Antialiasing);
  for (int c : curves) {
    const uint64_t peak = histogram_.Peak(c);
    if (peak == 0) continue;
    const auto& bins = histogram_.bins[static_cast<size_t>(c)];
    QPainterPath path(QPointF(plot.left(), plot.bottom()));
    for (int v = 0; v < 256; ++v) {
      const double y = plot.bottom() - static_cast<double>(bins[static_cast<size_t>(v)]) * plot.height() / peak;
      path.lineTo(x(v), y);
      path.lineTo(x(v + 1), y);
    }
    path.lineTo(plot.right(), plot.bottom());
    QColor colour;
    switch (c) {
      case kHistogramRed: colour = QColor(220, 40, 40); break;
      case kHistogramGreen: colour = QColor(30, 170, 30); break;
      case kHistogramBlue: colour = QColor(40, 80, 230); break;
      default: colour = palette().text().color(); break;
    }
    if (c == kHistogramLuminance || c == kHistogramAlpha) {
      QColor fill = colour;
      fill.setAlpha(90);
      p.fillPath(path, fill);
    } else {
      p.setPen(QPen(colour, 1.0));
      p.drawPath(path);
    }
  }
  p.setRenderHint(QPainter::Antialiasing, false);

  // Everything outside low..high ends as 0 or 255: shaded.
  QColor shade = palette().shadow().color();
  shade.setAlpha(60);
  p.fillRect(QRectF(plot.left(), plot.top(), x(low_) - plot.left(), plot.height()), shade);
  p.fillRect(QRectF(x(high_ + 1), plot.top(), plot.right() - x(high_ + 1), plot.height()), shade);
  p.setPen(QPen(palette().highlight().color(), 1.0));
  p.drawLine(QPointF(x(low_), plot.top()), QPointF(x(low_), plot.bottom()));
  p.drawLine(QPointF(x(high_ + 1), plot.top()), QPointF(x(high_ + 1), plot.bottom()));
  p.setPen(palette().mid().color());
  p.drawRect(frame);
}

}  // namespace vl::edit::ui
