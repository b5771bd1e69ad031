// Helpers the QtTest suites of the tool windows share.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/controller.h"
#include "image/chunky.h"

namespace vl::test {

using Bytes = std::vector<uint8_t>;

inline Bytes BytesOf(const image::ChunkyImage* c) {
  return Bytes(c->pixels, c->pixels + image::BufferBytes(c->width, c->height, c->format));
}

inline const image::ChunkyImage* Current(const app::Controller& c) {
  return c.currentImage()->chunky;
}

// Calls answer with the next modal window (the requester that the next step opens).
inline void WhenModal(std::function<void(QWidget*)> answer) {
  auto* timer = new QTimer(qApp);
  auto tries = std::make_shared<int>(200);
  QObject::connect(timer, &QTimer::timeout, qApp, [timer, tries, answer] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal && --*tries > 0) return;
    timer->deleteLater();
    timer->stop();
    if (modal) answer(modal);
  });
  timer->start(10);
}

}  // namespace vl::test
