#pragma once
#include <QGuiApplication>
#include <QSize>

// The window the drawing benchmarks draw into: a full-HD screen.
inline const QSize kClient(1920, 1080);

// Fonts need an application object; it lives for the whole run, on the offscreen platform unless
// another is asked for.
inline void EnsureGuiApplication() {
  static int argc = 1;
  static char name[] = "orvek_bench_plot";
  static char* argv[] = {name, nullptr};
  if (QGuiApplication::instance()) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  new QGuiApplication(argc, argv);
}
