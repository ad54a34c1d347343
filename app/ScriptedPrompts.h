#pragma once
#include <QStringList>
#include <deque>
#include <stdexcept>

#include "app/Prompts.h"

namespace orvek {

// Prompts whose answers are scripted in advance (by the GUI tests and the screenshot tool); every
// message shown is recorded. A prompt with no scripted answer left throws, so an unexpected dialog
// fails the run instead of blocking.
class ScriptedPrompts : public Prompts {
 public:
  std::deque<std::optional<QString>> Texts;  // answers of the input boxes (nullopt = Cancel)
  std::deque<std::optional<QString>> Files;  // answers of the file dialogs
  std::deque<Answer> Answers;                // answers of the Yes/No/Cancel questions
  QStringList Informations, Errors, InputPrompts, Questions;
  std::vector<FileDialogOptions> FileDialogs;

  std::optional<QString> InputText(const QString& caption, const QString& prompt,
                                   const QString& defaultText) override {
    InputPrompts << caption + "|" + prompt + "|" + defaultText;
    return Next(Texts, "input box " + prompt);
  }
  void Information(const QString& text) override { Informations << text; }
  void Error(const QString& text) override { Errors << text; }
  Answer YesNoCancel(const QString& text) override {
    Questions << text;
    return Next(Answers, "question " + text);
  }
  bool YesNo(const QString& text) override {
    Questions << text;
    return Next(Answers, "question " + text) == Answer::Yes;
  }
  // OK is scripted as Yes.
  bool OkCancel(const QString& text) override {
    Questions << text;
    return Next(Answers, "confirmation " + text) == Answer::Yes;
  }
  std::optional<QString> OpenFile(const FileDialogOptions& options) override {
    FileDialogs.push_back(options);
    return Next(Files, "open dialog");
  }
  std::optional<QString> SaveFile(const FileDialogOptions& options) override {
    FileDialogs.push_back(options);
    return Next(Files, "save dialog");
  }

 private:
  template <typename T>
  static T Next(std::deque<T>& queue, const QString& what) {
    if (queue.empty()) throw std::runtime_error("unscripted " + what.toStdString());
    T answer = queue.front();
    queue.pop_front();
    return answer;
  }
};

}  // namespace orvek
