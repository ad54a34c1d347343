// Pop-up menu "APPLY HEARING PROTECTION": the protector catalogue as menu items, and its help.
#include <QPainter>
#include <QStringList>

#include "app/NumberEntry.h"
#include "app/TForm1.h"
#include "base/FileNames.h"
#include "plot/InsertionLossPlot.h"
#include "plot/PressureTimePlot.h"
#include "protection/ProtectedWaveform.h"

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
  GetHPDData();
}

// The waveform under the chosen protector: where and from which direction, the protector's
// measured and modelled insertion loss, the predicted waveform over the pressure-time plot, and
// the predicted waveform file beside the one it was predicted from. The prediction runs on a copy:
// the record stays the free-field recording, with its own header, and the predicted waveform is
// analysed by opening its file.
void TForm1::GetHPDData() {
  RestoreForm();
  if (!RequireSamples()) return;
  if (SelectedProtector < 0 || SelectedProtector >= static_cast<int>(Catalogue.Entries.size()))
    return;
  RequireFreeFieldRecording(MicrophoneCode(record_->Grid()));
  const TProtectorEntry& entry = Catalogue.Entries[SelectedProtector];
  const QString word = QString::fromUtf8(ProtectorKindWord(ProtectorKindOf(entry)));
  const int location =
      prompts_.YesNo("The default location for waveform prediction under this " + word +
                     " is at the \r\nEardrum rather than at the Earcanal Entrance.\r\nAccept?")
          ? kProtectedAtEardrum
          : kProtectedAtEntrance;
  // The default is the incidence of the parameter file, the one the unprotected analysis runs
  // (90 degrees, normal incidence, in the shipped file), so that the protected and unprotected
  // hazards of a waveform differ by the protector only.
  ReloadModelParameters();
  const int fileAngle = IncidenceDegreesOfGain(ModelParameters.CanalSourceGain);
  const QString normal = fileAngle == 90 ? " for normal incidence" : "";
  std::optional<int> angle;
  if (!prompts_.YesNo("The default angle of the incoming wave at this " + word +
                      " relative to the facing direction is \r\n" + QString::number(fileAngle) +
                      " degrees" + normal +
                      " rather than\r\n270 degrees for head-shadow incidence or\r\n0     degrees "
                      "for grazing incidence.\r\nAccept?"))
    angle = InputInteger(prompts_, "Angle of the incoming wave in degrees", 0, 360, 0);

  const std::filesystem::path input = record_->File();
  if (!ProtectorInput) ProtectorInput = std::make_unique<TWaveform>(record_->Capacity());
  TWaveform& predicted = *ProtectorInput;
  record_->CopyTo(predicted);
  HeaderGrid header = record_->Grid();
  const ProtectedRun run = PredictUnderProtector(StartupFolder, entry, location, angle, input,
                                                 ModelParameters, predicted, header, DitherRandom);
  gridView_->hide();
  {
    QPainter painter(&canvas_->Image());
    InsertionLossPlot(painter, ClientSize(), run.Table, run.Circuit, entry.Name, Plot);
    painter.setPen(QPen(QColor(0, 128, 0), 1, Qt::SolidLine));
    DrawTrace(painter, Plot.Waveform, predicted, predicted.WorkSamples, 0.001f,
              ClientSize().width(), TraceDetail::EverySample);
  }
  canvas_->update();
  WriteProtectedWaveform(ResolveInFolder(input.parent_path(), run.OutputName), predicted, header,
                         {input});
}

}  // namespace orvek
