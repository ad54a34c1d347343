#pragma once
#include <QGuiApplication>

namespace orvek::cli {

// Drawing text needs a Qt application with a platform; the commands that draw use this one,
// which needs no display.
class GuiSession {
 public:
  GuiSession();

 private:
  int argc_ = 1;
  char name_[10] = "orvek-cli";
  char* argv_[2] = {name_, nullptr};
  QGuiApplication application_;
};

}  // namespace orvek::cli
