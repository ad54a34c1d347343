#pragma once
#include <QObject>
#include <QPushButton>

namespace orvek {

// While a long run lets window messages through, the user may stop it with Esc or its Cancel
// button (or by closing the window), and do nothing else: every other mouse, key and shortcut
// event is held back, so no command can start inside the run. Shows the button for its lifetime.
class CancelWatch : public QObject {
 public:
  explicit CancelWatch(QPushButton& button);
  ~CancelWatch() override;
  CancelWatch(const CancelWatch&) = delete;
  CancelWatch& operator=(const CancelWatch&) = delete;

  bool Requested() const { return requested_; }

 protected:
  bool eventFilter(QObject* receiver, QEvent* event) override;

 private:
  QPushButton& button_;
  QMetaObject::Connection clicked_;
  bool requested_ = false;
};

}  // namespace orvek
