#pragma once
#include <QWidget>

#include "app/Prompts.h"

namespace orvek {

// The real dialogs: input boxes, message boxes and file dialogs over the main window.
class QtPrompts : public Prompts {
 public:
  void SetParent(QWidget* parent) { parent_ = parent; }

  std::optional<QString> InputText(const QString& caption, const QString& prompt,
                                   const QString& defaultText) override;
  void Information(const QString& text) override;
  void Error(const QString& text) override;
  Answer YesNoCancel(const QString& text) override;
  bool YesNo(const QString& text) override;
  bool OkCancel(const QString& text) override;
  std::optional<QString> OpenFile(const FileDialogOptions& options) override;
  std::optional<QString> SaveFile(const FileDialogOptions& options) override;

 private:
  QWidget* parent_ = nullptr;
};

}  // namespace orvek
