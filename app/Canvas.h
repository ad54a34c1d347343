#pragma once
#include <QImage>
#include <QWidget>
#include <functional>

namespace orvek {

// The window's client area: one off-screen image that every drawing goes to, shown by the paint
// event. Mouse and context-menu events are handed to the window's handlers.
class Canvas : public QWidget {
  Q_OBJECT
 public:
  explicit Canvas(QWidget* parent = nullptr);

  QImage& Image() { return image_; }
  const QImage& Image() const { return image_; }

  std::function<void(QMouseEvent*)> OnDoubleClick, OnMousePress, OnMouseMove, OnMouseRelease;
  std::function<void(QContextMenuEvent*)> OnContextMenu;
  std::function<void()> OnResized;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  QImage image_;
};

}  // namespace orvek
