#pragma once
#include <QByteArray>
#include <QPainter>
#include <QSize>
#include <QString>
#include <filesystem>
#include <functional>

#include "base/FileNames.h"

namespace orvek {

// The file formats a plot is saved in: a bitmap, or vector pages drawn by the same renderers.
enum class PictureFormat { Png, Svg, Pdf };

// The format of a file name's extension (".png", ".svg", ".pdf", any case); OrvekError naming the
// file otherwise.
PictureFormat PictureFormatOf(const std::filesystem::path& file);

// Draws on a fresh white picture of `size` pixels (PDF: one page of that size at 96 dpi, so that
// fonts in points come out as on the screen) and returns the file's bytes. `title` goes into the
// SVG and PDF metadata.
QByteArray RenderPicture(PictureFormat format, QSize size, const QString& title,
                         const std::function<void(QPainter&)>& draw);

// Where a plot sits in the window: the renderers draw into the lower or upper half of a client
// area, or over all of it.
enum class PlotBand { Lower, Upper, Whole };

// The client area whose `band` is `picture` (a half band is half the client's height).
QSize ClientForBand(QSize picture, PlotBand band);

// Runs `draw` (a renderer of the client area) with the painter moved so that `band` of the client
// lands on the picture's origin: a picture of the band alone.
void DrawBand(QPainter& painter, QSize picture, PlotBand band,
              const std::function<void(QPainter&, QSize client)>& draw);

// RenderPicture of the band in the format of `file`'s extension, written through the safe writer,
// which never replaces one of `reads` (the files the drawing command read).
void WritePlotPicture(const std::filesystem::path& file, QSize picture, PlotBand band,
                      const QString& title,
                      const std::function<void(QPainter&, QSize client)>& draw,
                      const ReadFiles& reads);

// "WxH" with both positive and at most 20000 pixels; OrvekError naming the text otherwise.
QSize ParsePictureSize(const std::string& text);

}  // namespace orvek
