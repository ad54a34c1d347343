// Pop-up menu "APPLY HEARING PROTECTION": the protector catalogue as menu items, and its help.
#include <QPainter>
#include <QStringList>

#include "app/TForm1.h"
#include "waveform/FileNames.h"

namespace orvek {

// The catalogue read at start-up becomes the DEFAULT MODE items (after "HELP") and the POWER USER
// MODE items at the place each record's kind code selects. Records that cannot be read are
// reported together; a missing catalogue is reported and leaves the menus without protectors.
void TForm1::LoadCatalogue() {
  RunCommand([this] {
    Catalogue = LoadProtectorCatalogue(ResolveInFolder(StartupFolder, "HPD Atten.txt"));
    for (const TProtectorEntry& entry : Catalogue.Entries) {
      const int index = entry.Index;
      const auto add = [&](QMenu* menu, const std::string& caption) {
        AddCommand(menu, QString::fromStdString(caption).trimmed(),
                   [this, index] { PopupItemClick(index); });
      };
      if (entry.InDefaultMode) add(DefaultModeMenu, entry.Name);
      if (entry.Place != PowerUserPlace::None)
        add(PowerUserMenus[static_cast<int>(entry.Place)], entry.PowerUserCaption);
    }
    if (!Catalogue.Messages.empty()) {
      QStringList messages;
      for (const std::string& message : Catalogue.Messages)
        messages << QString::fromStdString(message);
      prompts_.Information(messages.join("\r\n"));
    }
  });
}

void TForm1::ApplyEarProtector1Click() {
  RestoreForm();
  gridView_->show();
}

// The circuit picture over the whole client area until the next mouse press.
void TForm1::Help2Click() {
  gridView_->hide();
  RestoreForm();
  {
    QPainter painter(&canvas_->Image());
    painter.drawImage(QRect(QPoint(0, 0), ClientSize()), SecondPicture);
  }
  canvas_->update();
  HelpPictureShown = true;
}

void TForm1::PopupItemClick(int catalogueIndex) {
  SelectedProtector = catalogueIndex;
  NotAvailable();  // the waveform under a protector comes with the protected-ear analysis
}

}  // namespace orvek
