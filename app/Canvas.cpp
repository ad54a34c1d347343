#include "app/Canvas.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>

namespace orvek {

Canvas::Canvas(QWidget* parent) : QWidget(parent), image_(1, 1, QImage::Format_RGB32) {
  image_.fill(Qt::white);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void Canvas::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.drawImage(event->rect(), image_, event->rect());
}

// The image always has the client size; what was drawn stays in place and new area is white.
void Canvas::resizeEvent(QResizeEvent*) {
  if (image_.size() == size() || size().isEmpty()) return;
  QImage resized(size(), QImage::Format_RGB32);
  resized.fill(Qt::white);
  QPainter(&resized).drawImage(0, 0, image_);
  image_ = std::move(resized);
  if (OnResized) OnResized();
}

void Canvas::mouseDoubleClickEvent(QMouseEvent* event) {
  if (OnDoubleClick) OnDoubleClick(event);
}
void Canvas::mousePressEvent(QMouseEvent* event) {
  if (OnMousePress) OnMousePress(event);
}
void Canvas::mouseMoveEvent(QMouseEvent* event) {
  if (OnMouseMove) OnMouseMove(event);
}
void Canvas::mouseReleaseEvent(QMouseEvent* event) {
  if (OnMouseRelease) OnMouseRelease(event);
}
void Canvas::contextMenuEvent(QContextMenuEvent* event) {
  if (OnContextMenu) OnContextMenu(event);
}

}  // namespace orvek
