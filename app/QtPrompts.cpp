#include "app/QtPrompts.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QScreen>
#include <QStringList>

namespace orvek {
namespace {

// "Prepared waveforms|*.ORV|All Files|*.*" -> "Prepared waveforms (*.ORV);;All Files (*.*)".
// Patterns are matched case-insensitively, as file names are.
QString QtFilter(const QString& filter) {
  const QStringList parts = filter.split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString pattern = parts[i + 1];
    const QString lower = pattern.toLower();
    if (lower != pattern) pattern += ' ' + lower;
    out << QString("%1 (%2)").arg(parts[i], pattern);
  }
  return out.join(";;");
}

// The file dialog opens centred at the top of the screen, 97.5 % of the screen high.
void PlaceDialog(QFileDialog& dialog) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->geometry();
  const int width = dialog.sizeHint().width();
  const int height = static_cast<int>(std::nearbyint(0.975 * area.height()));
  dialog.setGeometry(area.left() + (area.width() - width) / 2, area.top(), width, height);
}

std::optional<QString> RunFileDialog(QWidget* parent, const FileDialogOptions& options,
                                     QFileDialog::AcceptMode mode) {
  QFileDialog dialog(parent, options.Title, options.InitialFolder, QtFilter(options.Filter));
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                     : QFileDialog::AnyFile);
  if (!options.DefaultExtension.isEmpty()) dialog.setDefaultSuffix(options.DefaultExtension);
  if (!options.ProposedName.isEmpty()) dialog.selectFile(options.ProposedName);
  PlaceDialog(dialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front();
}

}  // namespace

std::optional<QString> QtPrompts::InputText(const QString& caption, const QString& prompt,
                                            const QString& defaultText) {
  bool ok = false;
  const QString text =
      QInputDialog::getText(parent_, caption, prompt, QLineEdit::Normal, defaultText, &ok);
  if (!ok) return std::nullopt;
  return text;
}

void QtPrompts::Information(const QString& text) {
  QMessageBox::information(parent_, QGuiApplication::applicationDisplayName(), text);
}

void QtPrompts::Error(const QString& text) {
  QMessageBox::critical(parent_, QGuiApplication::applicationDisplayName(), text);
}

Prompts::Answer QtPrompts::YesNoCancel(const QString& text) {
  switch (QMessageBox::question(parent_, QGuiApplication::applicationDisplayName(), text,
                                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
    case QMessageBox::Yes:
      return Answer::Yes;
    case QMessageBox::No:
      return Answer::No;
    default:
      return Answer::Cancel;
  }
}

bool QtPrompts::YesNo(const QString& text) {
  return QMessageBox::question(parent_, QGuiApplication::applicationDisplayName(), text,
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool QtPrompts::OkCancel(const QString& text) {
  return QMessageBox::question(parent_, QGuiApplication::applicationDisplayName(), text,
                               QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

std::optional<QString> QtPrompts::OpenFile(const FileDialogOptions& options) {
  return RunFileDialog(parent_, options, QFileDialog::AcceptOpen);
}

std::optional<QString> QtPrompts::SaveFile(const FileDialogOptions& options) {
  return RunFileDialog(parent_, options, QFileDialog::AcceptSave);
}

}  // namespace orvek
