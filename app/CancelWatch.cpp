#include "app/CancelWatch.h"

#include <QApplication>
#include <QKeyEvent>

namespace orvek {

CancelWatch::CancelWatch(QPushButton& button) : button_(button) {
  clicked_ = QObject::connect(&button_, &QPushButton::clicked, [this] { requested_ = true; });
  button_.show();
  button_.raise();
  qApp->installEventFilter(this);
}

CancelWatch::~CancelWatch() {
  qApp->removeEventFilter(this);
  QObject::disconnect(clicked_);
  button_.hide();
}

bool CancelWatch::eventFilter(QObject* receiver, QEvent* event) {
  switch (event->type()) {
    case QEvent::Shortcut:  // a menu's key, whatever object it is sent to
      return true;
    case QEvent::Close:  // closing the window stops the run, which then lets it close
      if (receiver == button_.window()) requested_ = true;
      return false;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
      break;
    default:
      return false;
  }
  // The platform's window passes input on to the widget it is meant for; the filter judges there.
  if (!receiver->isWidgetType()) return false;
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
    requested_ = true;
  return receiver != &button_;
}

}  // namespace orvek
