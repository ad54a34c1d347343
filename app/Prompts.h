#pragma once
#include <QString>
#include <optional>

namespace orvek {

// What a file dialog shows and proposes.
struct FileDialogOptions {
  QString Title;   // caption
  QString Filter;  // "Prepared waveforms|*.ORV|All Files|*.*"
  QString InitialFolder;
  QString DefaultExtension;  // without the dot; empty for none
  QString ProposedName;      // file name offered by a save dialog
};

// Every modal interaction of the window goes through this interface, so tests can script the
// answers and the window never blocks on a real dialog there.
class Prompts {
 public:
  enum class Answer { Yes, No, Cancel };

  virtual ~Prompts() = default;
  // Modal text box with OK and Cancel; nullopt when cancelled.
  virtual std::optional<QString> InputText(const QString& caption, const QString& prompt,
                                           const QString& defaultText) = 0;
  // Information message with one OK button.
  virtual void Information(const QString& text) = 0;
  // Error message of a command that failed.
  virtual void Error(const QString& text) = 0;
  virtual Answer YesNoCancel(const QString& text) = 0;
  // Question with Yes and No; true for Yes.
  virtual bool YesNo(const QString& text) = 0;
  // Confirmation with OK and Cancel; true for OK.
  virtual bool OkCancel(const QString& text) = 0;
  // Absolute path of the chosen file, or nullopt when cancelled.
  virtual std::optional<QString> OpenFile(const FileDialogOptions& options) = 0;
  // Save dialogs ask before overwriting an existing file.
  virtual std::optional<QString> SaveFile(const FileDialogOptions& options) = 0;
};

}  // namespace orvek
