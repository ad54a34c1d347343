#include "plot/PictureFile.h"

#include <QBuffer>
#include <QImage>
#include <QPageSize>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <cctype>
#include <regex>

#include "base/FileNames.h"
#include "base/OrvekError.h"

namespace orvek {

namespace {
constexpr int kVectorDpi = 96;  // the screen's, so that point sizes match the window's
constexpr int kMaxPictureSide = 20000;
}  // namespace

PictureFormat PictureFormatOf(const std::filesystem::path& file) {
  std::string ext = file.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".png") return PictureFormat::Png;
  if (ext == ".svg") return PictureFormat::Svg;
  if (ext == ".pdf") return PictureFormat::Pdf;
  throw OrvekError("The picture file \"" + file.string() +
                   "\" must end in .png, .svg or .pdf to name its format.");
}

QByteArray RenderPicture(PictureFormat format, QSize size, const QString& title,
                         const std::function<void(QPainter&)>& draw) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  const auto paint = [&](QPaintDevice& device) {
    QPainter painter(&device);
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    draw(painter);
  };
  switch (format) {
    case PictureFormat::Png: {
      QImage image(size, QImage::Format_RGB32);
      paint(image);
      image.save(&buffer, "PNG");
      break;
    }
    case PictureFormat::Svg: {
      QSvgGenerator svg;
      svg.setOutputDevice(&buffer);
      svg.setSize(size);
      svg.setViewBox(QRect(QPoint(0, 0), size));
      svg.setResolution(kVectorDpi);
      svg.setTitle(title);
      paint(svg);
      break;
    }
    case PictureFormat::Pdf: {
      QPdfWriter pdf(&buffer);
      pdf.setResolution(kVectorDpi);
      pdf.setPageSize(QPageSize(QSizeF(size) * 72.0 / kVectorDpi, QPageSize::Point));
      pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
      pdf.setTitle(title);
      pdf.setCreator("ORVEK");
      paint(pdf);
      break;
    }
  }
  return bytes;
}

QSize ClientForBand(QSize picture, PlotBand band) {
  return band == PlotBand::Whole ? picture : QSize(picture.width(), 2 * picture.height());
}

void DrawBand(QPainter& painter, QSize picture, PlotBand band,
              const std::function<void(QPainter&, QSize client)>& draw) {
  const QSize client = ClientForBand(picture, band);
  painter.save();
  painter.setClipRect(QRect(QPoint(0, 0), picture), Qt::IntersectClip);
  // The renderers put the lower band at round(0.5 client height), which is picture.height().
  if (band == PlotBand::Lower) painter.translate(0, -picture.height());
  draw(painter, client);
  painter.restore();
}

void WritePlotPicture(const std::filesystem::path& file, QSize picture, PlotBand band,
                      const QString& title,
                      const std::function<void(QPainter&, QSize client)>& draw,
                      const ReadFiles& reads) {
  const QByteArray bytes = RenderPicture(PictureFormatOf(file), picture, title,
                                         [&](QPainter& p) { DrawBand(p, picture, band, draw); });
  if (const auto reason = WriteFileReplacing(file, bytes.toStdString(), reads))
    throw OrvekError("Cannot write the picture file \"" + file.string() + "\": " + *reason + ".");
}

QSize ParsePictureSize(const std::string& text) {
  static const std::regex pattern(R"(([0-9]{1,5})[xX]([0-9]{1,5}))");
  std::smatch m;
  if (std::regex_match(text, m, pattern)) {
    const int w = std::stoi(m[1]), h = std::stoi(m[2]);
    if (w > 0 && h > 0 && w <= kMaxPictureSide && h <= kMaxPictureSide) return {w, h};
  }
  throw OrvekError("The picture size \"" + text + "\" must be WxH, 1 to " +
                   std::to_string(kMaxPictureSide) + " pixels each.");
}

}  // namespace orvek
