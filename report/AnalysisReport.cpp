#include "report/AnalysisReport.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QFontMetrics>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cstdio>

#include "base/FileNames.h"
#include "base/Lcg32.h"
#include "base/OrvekError.h"
#include "model/ModelParameters.h"
#include "model/MovieFrameStore.h"
#include "plot/ImpulseCriteriaTable.h"
#include "plot/InsertionLossPlot.h"
#include "plot/PictureFile.h"
#include "plot/PressureTimePlot.h"
#include "plot/ResultPlots.h"
#include "plot/SpectrumPlot.h"
#include "protection/ProtectorCatalogue.h"
#include "protection/ProtectorCircuit.h"
#include "waveform/OrvFile.h"
#include "waveform/SampleCapacity.h"

namespace orvek {

namespace fs = std::filesystem;

QString ProgramVersion() { return QStringLiteral(ORVEK_VERSION); }

namespace {

UsedFile Fingerprint(const fs::path& path) {
  QFile file(QString::fromStdString(path.string()));
  if (!file.open(QIODevice::ReadOnly))
    throw OrvekError("The file \"" + path.string() + "\" could not be read for the report.");
  QCryptographicHash hash(QCryptographicHash::Sha256);
  hash.addData(&file);
  return {path, hash.result().toHex().toStdString()};
}

// One listener's hazard on the record's samples, with its own copy of the parameters; no hazard
// file. `done` gets the share of this run finished, 0 .. 1.
ListenerHazard RunListener(TWaveform& w, int mic, Listener listener, TModelParameters p,
                           const std::function<void(double)>& done) {
  const MuscleTiming timing =
      ComputeMuscleTiming(MuscleDelay(listener, p), w.SampleInterval, p.MuscleTimeConstant);
  auto movie = std::make_unique<MovieFrameStore>();
  const double last = std::max<std::int32_t>(w.LastSampleIndex, 1);
  const HazardResult result = CalculateHazard(w, mic, timing, p, *movie, std::nullopt,
                                              [&](std::int32_t sample) { done(sample / last); });
  return {result.Cochlea.Hazard, result.Cochlea.Places, result.Validity};
}

}  // namespace

ReportContent AnalyseForReport(const fs::path& file, const fs::path& startupFolder,
                               const std::string& protector, const ReportProgress& progress) {
  const auto report = [&](double percent, const char* stage) {
    if (progress) progress(static_cast<int>(percent), QString::fromUtf8(stage));
  };
  report(0, "reading");
  ReportContent out;
  out.File = file;
  const fs::path parameterFile =
      ResolveInFolder(startupFolder, ReadManFig(ResolveInFolder(startupFolder, "Man.Fig")));
  TModelParameters p;
  LoadModelParameters(parameterFile, p);
  DeriveModelConstants(p);
  out.Parameters = Fingerprint(parameterFile);
  out.Reads = {file, ResolveInFolder(startupFolder, "Man.Fig"), parameterFile};

  out.Waveform = std::make_unique<TWaveform>(SampleCapacityFor(AvailablePhysicalMemory()));
  TWaveform& w = *out.Waveform;
  Lcg32 random;  // the reader's dither
  OpenNewFileType5(file, false, w, out.Grid, random);
  out.Peak = FindIntervalPeak(w, 0, w.LastSampleIndex);
  out.Energy = ComputeEnergyMetrics(w, 0, w.LastSampleIndex);
  out.Criteria = ComputeImpulseCriteria({w.Samples.data(), static_cast<std::size_t>(w.Count())},
                                        w.SampleInterval);
  out.Spectrum = ComputeLeq300Spectrum(w.Samples.data(), w.Count(), w.SampleInterval);

  // Shares of the work: the two listeners take most of it, a protector as much again.
  const double listenerShare = protector.empty() ? 45 : 22.5;
  const int mic = MicrophoneCode(out.Grid);
  const auto listeners = [&](TWaveform& record, int code, double from, ListenerHazard& warned,
                             ListenerHazard& unwarned) {
    warned = RunListener(record, code, Listener::Warned, p, [&](double share) {
      report(from + share * listenerShare, "warned listener");
    });
    unwarned = RunListener(record, code, Listener::Unwarned, p, [&](double share) {
      report(from + (1 + share) * listenerShare, "unwarned listener");
    });
  };
  listeners(w, mic, 5, out.Warned, out.Unwarned);

  if (!protector.empty()) {
    report(50, "protector");
    const fs::path catalogueFile = ResolveInFolder(startupFolder, "HPD Atten.txt");
    const ProtectorCatalogue catalogue = LoadProtectorCatalogue(catalogueFile);
    out.Reads.push_back(catalogueFile);
    ProtectedReport& protectedPart = out.Protected.emplace();
    const TProtectorEntry& entry = FindProtectorNamed(catalogue, protector);
    protectedPart.Protector = entry.Name;
    // The run replaces the record and the grid's rows 3 and 4: it gets a second reading, whose
    // dither continues as after `protect`'s.
    protectedPart.Predicted =
        std::make_unique<TWaveform>(SampleCapacityFor(AvailablePhysicalMemory()));
    TWaveform& predicted = *protectedPart.Predicted;
    HeaderGrid grid;
    Lcg32 dither;
    OpenNewFileType5(file, false, predicted, grid, dither);
    TModelParameters protectorParameters = p;
    protectedPart.Run =
        PredictUnderProtector(startupFolder, entry, kProtectedAtEardrum, std::nullopt, file,
                              protectorParameters, predicted, grid, dither);
    // The fit may just have stored the circuit in the catalogue: its checksum is taken after.
    out.Catalogue = Fingerprint(catalogueFile);
    std::copy_n(predicted.WorkSamples.begin(), predicted.Count(), predicted.Samples.begin());
    listeners(predicted, MicrophoneCode(grid), 55, protectedPart.Warned, protectedPart.Unwarned);
  }
  report(100, "done");
  return out;
}

namespace {

constexpr int kDpi = 96;  // the screen's: the plots' fonts in points come out as there
constexpr int kMarginMm = 15;
constexpr int kPlotHeight = 300;  // pixels of one plot band

QString Fixed(double value, int decimals) {
  return std::isfinite(value) ? QString::number(value, 'f', decimals) : QStringLiteral("n/a");
}

// Writes the pages top to bottom and starts a new page when the next item does not fit.
class PageWriter {
 public:
  PageWriter(QPdfWriter& writer, QString footer)
      : writer_(writer), painter_(&writer), footer_(std::move(footer)) {
    width_ = writer.width();
    // The footer's line is kept free.
    height_ = writer.height() - 2 * LineHeight(Body());
    StartPage();
  }

  static QFont Body(bool bold = false) {
    QFont font("Liberation Sans", 9);
    font.setBold(bold);
    return font;
  }
  int LineHeight(const QFont& font) { return QFontMetrics(font, &writer_).lineSpacing() + 1; }

  void Title(const QString& text) {
    QFont font = Body(true);
    font.setPointSize(15);
    Text(text, font);
  }
  void Heading(const QString& text) {
    QFont font = Body(true);
    font.setPointSize(11);
    Space(LineHeight(font) / 2);
    Text(text, font);
  }
  // A paragraph wrapped over the width.
  void Text(const QString& text, const QFont& font = Body()) {
    painter_.setFont(font);
    const QRect bounds = painter_.boundingRect(QRect(0, 0, width_, 100000), Qt::TextWordWrap, text);
    Need(bounds.height());
    painter_.setPen(Qt::black);
    painter_.drawText(QRect(0, y_, width_, bounds.height()), Qt::TextWordWrap, text);
    y_ += bounds.height();
  }
  void Space(int pixels) { y_ += pixels; }

  // Columns of the given shares of the width; the header row again on every page it runs onto.
  void Table(const std::vector<double>& shares, const QStringList& header,
             const std::vector<QStringList>& rows) {
    const int line = LineHeight(Body());
    const auto drawRow = [&](const QStringList& cells, bool bold) {
      painter_.setFont(Body(bold));
      painter_.setPen(Qt::black);
      double x = 0;
      for (int c = 0; c < cells.size() && c < static_cast<int>(shares.size()); ++c) {
        // A last cell spans the columns left.
        const double share = c == cells.size() - 1 ? 1.0 - x / width_ : shares[c];
        painter_.drawText(QRectF(x, y_, share * width_ - 4, line), Qt::AlignLeft | Qt::AlignVCenter,
                          cells[c]);
        x += shares[c] * width_;
      }
      y_ += line;
    };
    const auto drawHeader = [&] {
      drawRow(header, true);
      painter_.drawLine(0, y_, width_, y_);
    };
    Need(2 * line);
    drawHeader();
    for (const QStringList& row : rows) {
      if (y_ + line > height_) {
        NewPage();
        drawHeader();
      }
      drawRow(row, false);
    }
    Space(line / 2);
  }

  // A plot band drawn by a renderer of the window's client area.
  void Plot(PlotBand band, const std::function<void(QPainter&, QSize client)>& draw,
            int height = kPlotHeight) {
    Need(height);
    const QSize picture(width_, height);
    painter_.save();
    painter_.translate(0, y_);
    painter_.fillRect(QRect(QPoint(0, 0), picture), Qt::white);
    DrawBand(painter_, picture, band, draw);
    painter_.restore();
    y_ += height + LineHeight(Body()) / 2;
  }

  void NewPage() {
    writer_.newPage();
    StartPage();
  }

 private:
  void Need(int pixels) {
    if (y_ > 0 && y_ + pixels > height_) NewPage();
  }
  void StartPage() {
    ++page_;
    y_ = 0;
    painter_.setFont(Body());
    painter_.setPen(Qt::darkGray);
    painter_.drawText(QRect(0, writer_.height() - LineHeight(Body()), width_, LineHeight(Body())),
                      Qt::AlignRight, footer_ + "  page " + QString::number(page_));
  }

  QPdfWriter& writer_;
  QPainter painter_;
  QString footer_;
  int width_ = 0, height_ = 0, y_ = 0, page_ = 0;
};

void OpenWriter(QPdfWriter& writer, const QString& title) {
  writer.setResolution(kDpi);
  writer.setPageSize(QPageSize(QPageSize::A4));
  writer.setPageMargins(QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                        QPageLayout::Millimeter);
  writer.setTitle(title);
  writer.setCreator("ORVEK " + ProgramVersion());
}

QString FromPath(const fs::path& path) { return QString::fromStdString(path.string()); }

void HazardSummary(PageWriter& pages, const ListenerHazard& warned,
                   const ListenerHazard& unwarned) {
  std::vector<QStringList> rows;
  for (const auto& [name, hazard] : {std::pair{"warned", &warned}, {"unwarned", &unwarned}})
    rows.push_back({name, QString::fromStdString(AruText(hazard->Aru)),
                    QString::fromStdString(AllowedText(hazard->Aru)),
                    QString::fromStdString(ValidityFlags(hazard->Validity))});
  pages.Table({0.15, 0.2, 0.25, 0.4},
              {"Listener", "Hazard (A.R.U.)", "Allowed exposures", "Validity"}, rows);
  for (const auto& [name, hazard] : {std::pair{"Warned", &warned}, {"Unwarned", &unwarned}})
    for (const std::string& note : ValidityNotes(hazard->Validity))
      pages.Text(QString(name) + ": " + QString::fromStdString(note));
}

void PlaceTable(PageWriter& pages, const ListenerHazard& warned, const ListenerHazard& unwarned) {
  std::vector<QStringList> rows;
  for (std::size_t i = 0; i < warned.Places.size(); ++i) {
    const PlaceResult& place = warned.Places[i];
    const float other = i < unwarned.Places.size() ? unwarned.Places[i].Hazard : 0.0f;
    rows.push_back({QString::number(place.Place), Fixed(place.DistanceCm, 3), Fixed(place.CfKhz, 3),
                    QString::fromStdString(AruText(place.Hazard)),
                    QString::fromStdString(AruText(other))});
  }
  pages.Table({0.12, 0.22, 0.22, 0.22, 0.22},
              {"Place", "Distance (cm)", "CF (kHz)", "Warned (A.R.U.)", "Unwarned (A.R.U.)"}, rows);
}

void DrawPressure(QPainter& painter, QSize client, const TWaveform& waveform) {
  PlotState state;
  PressureTimePlot(painter, client, waveform, state);
}

}  // namespace

QByteArray ReportPdf(const ReportContent& r) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  const QString name = FromPath(r.File.filename());
  {
    QPdfWriter writer(&buffer);
    OpenWriter(writer, "ORVEK analysis report: " + name);
    PageWriter pages(writer, "ORVEK " + ProgramVersion() + " report of " + name);
    const TWaveform& w = *r.Waveform;

    pages.Title("ORVEK analysis report");
    pages.Text("File: " + FromPath(r.File));
    pages.Text("Program: ORVEK " + ProgramVersion());
    pages.Text("Parameter file: " + FromPath(r.Parameters.Path) + "\nSHA-256 " +
               QString::fromStdString(r.Parameters.Sha256));
    if (r.Protected)
      pages.Text("Protector catalogue: " + FromPath(r.Catalogue.Path) + "\nSHA-256 " +
                 QString::fromStdString(r.Catalogue.Sha256));
    pages.Heading("Header");
    std::vector<QStringList> header;
    for (int row = 1; row <= r.Grid.HeaderLastRow; ++row)
      header.push_back({QString::fromStdString(r.Grid.Cell(HeaderColumn::Parameter, row)),
                        QString::fromStdString(r.Grid.Cell(HeaderColumn::Value, row)),
                        QString::fromStdString(r.Grid.Cell(HeaderColumn::Comment, row))});
    pages.Table({0.4, 0.2, 0.4}, {"Parameter", "Value", "Comment"}, header);
    pages.Heading("Pressure-time plot");
    pages.Plot(PlotBand::Lower, [&](QPainter& p, QSize c) { DrawPressure(p, c, w); });
    pages.Heading("Energy measures (whole record)");
    pages.Table({0.5, 0.5}, {"Measure", "Value"},
                {{"Peak level (dB)", Fixed(r.Peak.LevelDb, 2)},
                 {"Peak time (ms)", Fixed(r.Peak.Index * double(w.SampleInterval) * 1000.0, 3)},
                 {"LAeq (dB)", Fixed(static_cast<double>(r.Energy.LAeq), 2)},
                 {"Leq (dB)", Fixed(static_cast<double>(r.Energy.Leq), 2)},
                 {"LAeq8hr (dB)", Fixed(r.Energy.LAeq8hr, 2)},
                 {"Allowed impulses per day by A-weighted energy (Na)",
                  Fixed(static_cast<double>(r.Energy.Na), 1)}});

    pages.NewPage();
    pages.Heading("Hazard of the ear model");
    HazardSummary(pages, r.Warned, r.Unwarned);
    pages.Plot(PlotBand::Lower, [&](QPainter& p, QSize c) {
      HazardPlacesPlot(p, c, r.Warned.Places, r.Unwarned.Places);
    });
    PlaceTable(pages, r.Warned, r.Unwarned);

    pages.NewPage();
    pages.Heading("Impulse criteria (whole record)");
    std::vector<QStringList> criteria;
    QStringList notes;
    for (const CriteriaTableRow& row : ImpulseCriteriaRows(r.Criteria)) {
      if (row.Criterion.isEmpty())
        notes << row.Remark;
      else
        criteria.push_back({row.Criterion, row.Value, row.Unit, row.Remark});
    }
    pages.Table({0.4, 0.15, 0.1, 0.35}, {"Criterion", "Value", "Unit", "Remark"}, criteria);
    for (const QString& note : notes) pages.Text(note);

    pages.Heading("1/3-octave Leq(300 ms) spectrum");
    pages.Plot(PlotBand::Upper, [&](QPainter& p, QSize c) {
      PlotState state;
      Leq300SpectrumPlot(p, c, r.Spectrum, state);
    });
    // The bands side by side in three column groups, to keep them on one page.
    std::vector<QStringList> bands;
    const int count = r.Spectrum.LastBand - r.Spectrum.FirstBand + 1;
    const int perGroup = (count + 2) / 3;
    for (int i = 0; i < perGroup; ++i) {
      QStringList cells;
      for (int g = 0; g < 3; ++g) {
        const int b = r.Spectrum.FirstBand + g * perGroup + i;
        if (r.Spectrum.HasBand(b))
          cells << Fixed(BandCentreHz(b), 0) << Fixed(r.Spectrum.BandLevelDb(b), 2);
      }
      bands.push_back(cells);
    }
    pages.Table({0.16, 0.17, 0.16, 0.17, 0.16, 0.18},
                {"Band (Hz)", "Level (dB)", "Band (Hz)", "Level (dB)", "Band (Hz)", "Level (dB)"},
                bands);

    if (r.Protected) {
      const ProtectedReport& hp = *r.Protected;
      pages.NewPage();
      pages.Heading("Under the protector " + QString::fromStdString(hp.Protector));
      pages.Text(
          QString("%1 predicted at the %2, incidence %3 degrees.")
              .arg(QString::fromUtf8(ProtectorKindWord(hp.Run.Kind)))
              .arg(hp.Run.LocationCode == kProtectedAtEardrum ? "eardrum" : "ear-canal entrance")
              .arg(hp.Run.AngleDegrees));
      pages.Plot(PlotBand::Upper, [&](QPainter& p, QSize c) {
        PlotState state;
        InsertionLossPlot(p, c, hp.Run.Table, hp.Run.Circuit, hp.Protector, state);
      });
      pages.Heading("Predicted waveform");
      pages.Plot(PlotBand::Lower, [&](QPainter& p, QSize c) { DrawPressure(p, c, *hp.Predicted); });
      pages.Heading("Hazard under the protector");
      HazardSummary(pages, hp.Warned, hp.Unwarned);
    }
  }
  return bytes;
}

QByteArray SummaryPdf(const QString& title, const QStringList& columns,
                      const std::vector<SummaryRow>& rows) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&buffer);
    OpenWriter(writer, title);
    writer.setPageOrientation(QPageLayout::Landscape);
    PageWriter pages(writer, "ORVEK " + ProgramVersion());
    pages.Title(title);
    int failed = 0;
    std::vector<QStringList> table;
    for (const SummaryRow& row : rows) {
      if (row.Error.isEmpty()) {
        table.push_back(row.Cells);
      } else {
        ++failed;
        table.push_back({row.Cells.value(0), "failed: " + row.Error});
      }
    }
    pages.Text(QString("%1 files, %2 failed.").arg(rows.size()).arg(failed));
    // The first column (the file) gets a third of the width, the others share the rest.
    std::vector<double> shares{columns.size() > 1 ? 1.0 / 3 : 1.0};
    for (int c = 1; c < columns.size(); ++c) shares.push_back(2.0 / 3 / (columns.size() - 1));
    pages.Table(shares, columns, table);
  }
  return bytes;
}

void WriteReportFile(const fs::path& file, const QByteArray& bytes, const ReadFiles& reads) {
  if (const auto reason = WriteFileReplacing(file, bytes.toStdString(), reads))
    throw OrvekError("Cannot write the report \"" + file.string() + "\": " + *reason + ".");
}

}  // namespace orvek
