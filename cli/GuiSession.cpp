#include "cli/GuiSession.h"

namespace orvek::cli {

namespace {
int Offscreen(int& argc) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  return argc;
}
}  // namespace

// The platform is chosen before the application starts.
GuiSession::GuiSession() : application_((Offscreen(argc_), argc_), argv_) {}

}  // namespace orvek::cli
