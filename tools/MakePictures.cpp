// Draws the two pictures the application loads at start-up: "EarModel.jpg" (the start screen, a
// schematic of the ear as the hazard model sees it) and "Image5.jpg" (the protector help, the
// electro-acoustic circuit of an earmuff or earplug). Usage: make_pictures DATA_FOLDER
//
// Everything is computed from fixed geometry, so every run writes the same files.

#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <QStringList>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

namespace orvek {
namespace {

// ---------------------------------------------------------------------------------------------
// Colours and fonts

const QColor kInk(35, 38, 48);
const QColor kMuted(95, 100, 112);
const QColor kLeader(130, 135, 145);
const QColor kAccent(200, 45, 40);
const QColor kSkin(243, 214, 190);
const QColor kSkinEdge(170, 120, 90);
const QColor kAir(214, 232, 250);
const QColor kAirAlt(192, 219, 245);
const QColor kAirEdge(70, 110, 160);
const QColor kBone(246, 239, 222);
const QColor kBoneEdge(135, 112, 70);
const QColor kMuscle(222, 120, 112);
const QColor kMuscleEdge(150, 50, 45);
const QColor kFluid(255, 246, 218);
const QColor kFluidEdge(176, 140, 60);
const QColor kMembrane(205, 70, 60);
const QColor kWave(30, 80, 170);
const QColor kLeakBlue(30, 80, 200);
const QColor kPistonGrey(110, 110, 110);

// Pixel sizes keep the pictures independent of the screen resolution of the machine that draws.
QFont SansFont(int pixelSize, bool bold = false, bool italic = false) {
  QFont font("Arial");
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  font.setItalic(italic);
  font.setHintingPreference(QFont::PreferNoHinting);
  return font;
}

// ---------------------------------------------------------------------------------------------
// General drawing helpers

// Draws text so that the point `at` lies on the side of the text that `align` names (for example
// Qt::AlignLeft | Qt::AlignVCenter puts the point at the middle of the text's left edge).
void DrawLabel(QPainter& painter, QPointF at, const QString& text, Qt::Alignment align,
               const QFont& font, const QColor& colour = kInk) {
  constexpr double kBox = 4000.0;
  double left = at.x() - kBox / 2;
  if (align & Qt::AlignLeft) left = at.x();
  if (align & Qt::AlignRight) left = at.x() - kBox;
  double top = at.y() - kBox / 2;
  if (align & Qt::AlignTop) top = at.y();
  if (align & Qt::AlignBottom) top = at.y() - kBox;
  painter.save();
  painter.setFont(font);
  painter.setPen(colour);
  painter.drawText(QRectF(left, top, kBox, kBox), static_cast<int>(align), text);
  painter.restore();
}

// Draws one line of text in which "{...}" marks a subscript, as in "L{cup}".
void DrawSubscripted(QPainter& painter, QPointF at, const QString& text, Qt::Alignment align,
                     const QFont& font, const QColor& colour = kInk) {
  QFont subFont = font;
  subFont.setPixelSize(font.pixelSize() * 7 / 10);
  subFont.setItalic(false);
  struct Piece {
    QString text;
    bool subscript;
  };
  std::vector<Piece> pieces;
  for (const QString& part : text.split('{')) {
    const qsizetype close = part.indexOf('}');
    if (close < 0) {
      pieces.push_back({part, false});
    } else {
      pieces.push_back({part.left(close), true});
      pieces.push_back({part.mid(close + 1), false});
    }
  }
  const QFontMetricsF metrics(font);
  const QFontMetricsF subMetrics(subFont);
  double width = 0;
  for (const Piece& piece : pieces) {
    width += piece.subscript ? subMetrics.horizontalAdvance(piece.text) + 1
                             : metrics.horizontalAdvance(piece.text);
  }
  const double height = metrics.ascent();
  double x = at.x() - width / 2;
  if (align & Qt::AlignLeft) x = at.x();
  if (align & Qt::AlignRight) x = at.x() - width;
  // Subscripts hang 0.3 of the capital height below the baseline; the box includes them.
  const double drop = 0.3 * height;
  double baseline = at.y() + (height - drop) / 2;
  if (align & Qt::AlignTop) baseline = at.y() + height;
  if (align & Qt::AlignBottom) baseline = at.y() - drop;
  painter.save();
  painter.setPen(colour);
  for (const Piece& piece : pieces) {
    painter.setFont(piece.subscript ? subFont : font);
    if (piece.subscript) {
      painter.drawText(QPointF(x + 1, baseline + drop), piece.text);
      x += subMetrics.horizontalAdvance(piece.text) + 1;
    } else {
      painter.drawText(QPointF(x, baseline), piece.text);
      x += metrics.horizontalAdvance(piece.text);
    }
  }
  painter.restore();
}

// A straight arrow with a filled head at `to`.
void DrawArrow(QPainter& painter, QPointF from, QPointF to, const QColor& colour, double width,
               double headLength) {
  const QLineF line(from, to);
  const QPointF unit = (to - from) / line.length();
  const QPointF normal(-unit.y(), unit.x());
  const QPointF base = to - unit * headLength;
  painter.save();
  painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::FlatCap));
  painter.drawLine(from, base + unit * 1.0);
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  const double halfHead = 0.45 * headLength;
  painter.drawPolygon(QPolygonF({to, base + normal * halfHead, base - normal * halfHead}));
  painter.restore();
}

// A thin leader line from a label to the thing it names, ending in a small dot.
void DrawLeader(QPainter& painter, QPointF from, QPointF target) {
  painter.save();
  painter.setPen(QPen(kLeader, 1.4));
  painter.drawLine(from, target);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kLeader);
  painter.drawEllipse(target, 3.0, 3.0);
  painter.restore();
}

// A numbered disc that ties a place in the drawing to a box of the model chain.
void DrawBadge(QPainter& painter, QPointF centre, int number) {
  painter.save();
  painter.setPen(QPen(Qt::white, 2.0));
  painter.setBrush(kAccent);
  painter.drawEllipse(centre, 14.0, 14.0);
  painter.restore();
  DrawLabel(painter, centre, QString::number(number), Qt::AlignCenter, SansFont(17, true),
            Qt::white);
}

// ---------------------------------------------------------------------------------------------
// Circuit symbols

enum class Element { kResistor, kInductor, kCapacitor };
enum class Side { kAbove, kBelow, kLeft, kRight };

double BodyLength(Element element) {
  switch (element) {
    case Element::kResistor:
      return 56.0;
    case Element::kInductor:
      return 64.0;
    case Element::kCapacitor:
      return 12.0;
  }
  return 0.0;
}

// The symbol's body along the local x axis, from x = start to x = start + BodyLength.
QPainterPath BodyPath(Element element, double start) {
  QPainterPath path;
  switch (element) {
    case Element::kResistor: {
      constexpr int kPeaks = 6;
      constexpr double kAmplitude = 10.0;
      const double step = BodyLength(element) / (2 * kPeaks);
      path.moveTo(start, 0);
      for (int i = 0; i < 2 * kPeaks; ++i) {
        const double y = (i % 2 == 0) ? -kAmplitude : kAmplitude;
        path.lineTo(start + (i + 0.5) * step, y);
      }
      path.lineTo(start + BodyLength(element), 0);
      break;
    }
    case Element::kInductor: {
      constexpr int kTurns = 4;
      const double diameter = BodyLength(element) / kTurns;
      path.moveTo(start, 0);
      for (int i = 0; i < kTurns; ++i) {
        path.arcTo(QRectF(start + i * diameter, -diameter / 2, diameter, diameter), 180, -180);
      }
      break;
    }
    case Element::kCapacitor: {
      constexpr double kHalfPlate = 18.0;
      const double end = start + BodyLength(element);
      path.moveTo(start, -kHalfPlate);
      path.lineTo(start, kHalfPlate);
      path.moveTo(end, -kHalfPlate);
      path.lineTo(end, kHalfPlate);
      break;
    }
  }
  return path;
}

// Draws a two-terminal element from a to b (any direction): leads, centred symbol and its name.
void DrawElement(QPainter& painter, Element element, QPointF a, QPointF b, const QString& name,
                 Side side) {
  const QLineF line(a, b);
  const double lead = (line.length() - BodyLength(element)) / 2;
  painter.save();
  painter.translate(a);
  painter.rotate(-line.angle());
  painter.drawLine(QPointF(0, 0), QPointF(lead, 0));
  painter.drawLine(QPointF(lead + BodyLength(element), 0), QPointF(line.length(), 0));
  painter.setBrush(Qt::NoBrush);
  if (element == Element::kCapacitor) painter.setPen(QPen(painter.pen().color(), 4.0));
  painter.drawPath(BodyPath(element, lead));
  painter.restore();

  // The name sits beside the symbol's middle, on the requested side.
  constexpr double kGap = 24.0;
  const QPointF middle = (a + b) / 2;
  QPointF at = middle;
  Qt::Alignment align;
  switch (side) {
    case Side::kAbove:
      at += QPointF(0, -kGap);
      align = Qt::AlignHCenter | Qt::AlignBottom;
      break;
    case Side::kBelow:
      at += QPointF(0, kGap);
      align = Qt::AlignHCenter | Qt::AlignTop;
      break;
    case Side::kLeft:
      at += QPointF(-kGap, 0);
      align = Qt::AlignRight | Qt::AlignVCenter;
      break;
    case Side::kRight:
      at += QPointF(kGap, 0);
      align = Qt::AlignLeft | Qt::AlignVCenter;
      break;
  }
  DrawSubscripted(painter, at, name, align, SansFont(22, true, true));
}

void DrawNode(QPainter& painter, QPointF at) {
  painter.save();
  painter.setBrush(painter.pen().color());
  painter.drawEllipse(at, 4.5, 4.5);
  painter.restore();
}

void DrawTerminal(QPainter& painter, QPointF at) {
  painter.save();
  painter.setBrush(Qt::white);
  painter.drawEllipse(at, 6.0, 6.0);
  painter.restore();
}

void DrawGround(QPainter& painter, QPointF at) {
  painter.drawLine(at, at + QPointF(0, 14));
  for (int i = 0; i < 3; ++i) {
    const double half = 18.0 - 6.0 * i;
    const double y = at.y() + 14 + 6 * i;
    painter.drawLine(QPointF(at.x() - half, y), QPointF(at.x() + half, y));
  }
}

// A pressure source drawn as a circle with a sine inside, between a top and a bottom terminal.
void DrawPressureSource(QPainter& painter, QPointF top, QPointF bottom) {
  constexpr double kRadius = 30.0;
  const QPointF centre = (top + bottom) / 2;
  painter.drawLine(top, centre - QPointF(0, kRadius));
  painter.drawLine(centre + QPointF(0, kRadius), bottom);
  painter.save();
  painter.setBrush(Qt::white);
  painter.drawEllipse(centre, kRadius, kRadius);
  QPolygonF sine;
  for (int i = 0; i <= 40; ++i) {
    const double t = i / 40.0;
    sine << QPointF(centre.x() - 18 + 36 * t, centre.y() - 9 * std::sin(2 * std::numbers::pi * t));
  }
  painter.drawPolyline(sine);
  painter.restore();
  DrawLabel(painter, centre + QPointF(-kRadius - 6, -kRadius + 2), "+",
            Qt::AlignRight | Qt::AlignVCenter, SansFont(20, true));
}

// ---------------------------------------------------------------------------------------------
// "EarModel.jpg": the ear as the model sees it

constexpr int kEarWidth = 1600;
constexpr int kEarHeight = 1000;
constexpr double kAxisY = 440.0;  // ear canal, ossicular chain and cochlea share this axis
constexpr double kCanalStartX = 290.0;
constexpr double kCanalEndX = 690.0;
constexpr double kCanalEntranceHalf = 50.0;
constexpr double kCanalDrumHalf = 33.0;
constexpr int kCanalSections = 16;
const QRectF kMiddleEarBox(704.0, 300.0, 288.0, 285.0);
constexpr double kCochleaBaseX = 1000.0;
constexpr double kPixelsPerCm = 155.0;
constexpr double kCochleaLengthCm = 3.5;
constexpr double kCochleaBaseHalf = 100.0;
constexpr double kCochleaApexHalf = 42.0;

// Near the base the frequency-place map is exponential in the distance from the stapes
// (Greenwood 1990): CF = 20677 Hz * exp(-d / 0.724 cm).
constexpr double kBaseFrequencyHz = 20677.0;
constexpr double kPlaceLengthCm = 0.724;
double PlaceOfFrequencyCm(double frequencyHz) {
  return kPlaceLengthCm * std::log(kBaseFrequencyHz / frequencyHz);
}

double CochleaX(double distanceCm) { return kCochleaBaseX + distanceCm * kPixelsPerCm; }
double CochleaHalfHeight(double distanceCm) {
  return kCochleaBaseHalf + (kCochleaApexHalf - kCochleaBaseHalf) * distanceCm / kCochleaLengthCm;
}
// The basilar membrane is narrow and stiff at the base and wide and floppy at the apex.
double MembraneHalfWidth(double distanceCm) { return 2.5 + 8.0 * distanceCm / kCochleaLengthCm; }

// A sketch of an impulse (Friedlander wave) in a small frame.
void DrawImpulseSketch(QPainter& painter, const QRectF& frame) {
  painter.save();
  painter.setPen(QPen(kMuted, 1.5));
  const double zeroY = frame.top() + 0.72 * frame.height();
  DrawArrow(painter, QPointF(frame.left(), zeroY), QPointF(frame.right(), zeroY), kMuted, 1.5, 9);
  DrawArrow(painter, QPointF(frame.left() + 6, frame.bottom()),
            QPointF(frame.left() + 6, frame.top()), kMuted, 1.5, 9);
  QPainterPath wave;
  const double t0 = frame.left() + 20;
  const double span = frame.width() - 34;
  wave.moveTo(frame.left() + 6, zeroY);
  wave.lineTo(t0, zeroY);
  for (int i = 0; i <= 80; ++i) {
    const double t = 6.0 * i / 80;  // in A-durations
    const double p = (1 - t) * std::exp(-t);
    wave.lineTo(t0 + span * t / 6.0, zeroY - 0.62 * frame.height() * p);
  }
  painter.setPen(QPen(kWave, 2.5));
  painter.drawPath(wave);
  painter.restore();
  DrawLabel(painter, QPointF(frame.left() + 14, frame.top() - 2), "p(t)",
            Qt::AlignLeft | Qt::AlignBottom, SansFont(17, true, true), kWave);
  DrawLabel(painter, QPointF(frame.right(), zeroY + 6), "t", Qt::AlignRight | Qt::AlignTop,
            SansFont(17, false, true), kMuted);
}

void DrawSoundArrival(QPainter& painter) {
  DrawLabel(painter, QPointF(30, 180), "Impulse sound", Qt::AlignLeft | Qt::AlignTop,
            SansFont(22, true));
  DrawImpulseSketch(painter, QRectF(30, 236, 112, 78));

  // Wave fronts travelling towards the ear.
  painter.save();
  painter.setPen(QPen(kWave, 3.0, Qt::SolidLine, Qt::RoundCap));
  const QPointF centre(-60, kAxisY);
  for (int i = 0; i < 3; ++i) {
    const double radius = 110.0 + 32.0 * i;
    painter.drawArc(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius),
                    -30 * 16, 60 * 16);
  }
  painter.restore();
  DrawArrow(painter, QPointF(30, kAxisY), QPointF(160, kAxisY), kWave, 3.0, 16);
  DrawLabel(painter, QPointF(30, 560), "sound pressure\nin the free field",
            Qt::AlignLeft | Qt::AlignTop, SansFont(17), kInk);
  DrawBadge(painter, QPointF(40, 395), 1);
}

// Head tissue around the canal, the pinna and the dashed outline of an optional earmuff.
void DrawOuterEar(QPainter& painter) {
  painter.save();
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(250, 232, 216));
  painter.drawRoundedRect(QRectF(250, 345, kMiddleEarBox.left() - 250, 190), 24, 24);

  QPainterPath pinna;
  pinna.moveTo(272, 392);
  pinna.cubicTo(262, 330, 235, 268, 205, 268);
  pinna.cubicTo(168, 268, 156, 330, 168, 392);
  pinna.cubicTo(176, 430, 200, 450, 196, 500);
  pinna.cubicTo(192, 560, 216, 610, 246, 606);
  pinna.cubicTo(266, 604, 276, 575, 274, 540);
  pinna.cubicTo(272, 520, 266, 505, 272, 488);
  pinna.closeSubpath();
  painter.setPen(QPen(kSkinEdge, 2.5));
  painter.setBrush(kSkin);
  painter.drawPath(pinna);
  // Helix rim.
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(kSkinEdge, 2.0));
  QPainterPath helix;
  helix.moveTo(252, 370);
  helix.cubicTo(240, 320, 220, 292, 205, 292);
  helix.cubicTo(182, 292, 178, 340, 188, 380);
  painter.drawPath(helix);

  // An earmuff would enclose the pinna; drawn dashed because it is optional.
  painter.setPen(QPen(kMuted, 2.0, Qt::DashLine));
  QPainterPath cup;
  cup.moveTo(262, 236);
  cup.cubicTo(100, 236, 100, 644, 262, 644);
  painter.drawPath(cup);
  painter.restore();
  DrawLabel(painter, QPointF(150, 655), "optional hearing protector\n(earmuff or earplug)",
            Qt::AlignHCenter | Qt::AlignTop, SansFont(16, false, true), kMuted);
  DrawLeader(painter, QPointF(225, 210), QPointF(225, 268));
  DrawLabel(painter, QPointF(225, 206), "pinna", Qt::AlignHCenter | Qt::AlignBottom, SansFont(18));
}

void DrawEarCanal(QPainter& painter) {
  const double step = (kCanalEndX - kCanalStartX) / kCanalSections;
  // Uniform near the eardrum, flaring exponentially over the outer part towards the entrance.
  constexpr double kFlareEndX = kCanalStartX + 0.4 * (kCanalEndX - kCanalStartX);
  auto halfAt = [](double x) {
    if (x >= kFlareEndX) return kCanalDrumHalf;
    const double k = std::log(kCanalEntranceHalf / kCanalDrumHalf) / (kFlareEndX - kCanalStartX);
    return kCanalDrumHalf * std::exp(k * (kFlareEndX - x));
  };
  painter.save();
  for (int i = 0; i < kCanalSections; ++i) {
    const double x0 = kCanalStartX + i * step;
    const double x1 = x0 + step;
    const QPolygonF section({QPointF(x0, kAxisY - halfAt(x0)), QPointF(x1, kAxisY - halfAt(x1)),
                             QPointF(x1, kAxisY + halfAt(x1)), QPointF(x0, kAxisY + halfAt(x0))});
    painter.setPen(QPen(kAirEdge, 1.0));
    painter.setBrush(i % 2 == 0 ? kAir : kAirAlt);
    painter.drawPolygon(section);
  }
  QPolygonF upperWall;
  QPolygonF lowerWall;
  for (int i = 0; i <= 100; ++i) {
    const double x = kCanalStartX + (kCanalEndX - kCanalStartX) * i / 100;
    upperWall << QPointF(x, kAxisY - halfAt(x));
    lowerWall << QPointF(x, kAxisY + halfAt(x));
  }
  painter.setPen(QPen(kSkinEdge, 3.0));
  painter.setBrush(Qt::NoBrush);
  painter.drawPolyline(upperWall);
  painter.drawPolyline(lowerWall);

  // Bracket over the canal.
  const double bracketY = kAxisY - kCanalEntranceHalf - 16;
  painter.setPen(QPen(kInk, 1.5));
  painter.drawPolyline(
      QPolygonF({QPointF(kCanalStartX, bracketY + 8), QPointF(kCanalStartX, bracketY),
                 QPointF(kCanalEndX, bracketY), QPointF(kCanalEndX, bracketY + 8)}));
  painter.restore();
  const double middleX = (kCanalStartX + kCanalEndX) / 2;
  DrawLabel(painter, QPointF(middleX, bracketY - 30), "Ear canal, about 2.5 cm",
            Qt::AlignHCenter | Qt::AlignBottom, SansFont(22, true));
  DrawLabel(painter, QPointF(middleX, bracketY - 6), "transmission line of 16 sections",
            Qt::AlignHCenter | Qt::AlignBottom, SansFont(17));
  DrawArrow(painter, QPointF(kCanalStartX + 30, kAxisY), QPointF(kCanalEndX - 30, kAxisY), kWave,
            2.5, 14);
  // Pressure may be recorded in the free field, at the canal entrance or at the eardrum.
  DrawBadge(painter, QPointF(kCanalStartX + 14, kAxisY + kCanalEntranceHalf + 30), 1);
  DrawBadge(painter, QPointF(kCanalEndX - 38, kAxisY + kCanalDrumHalf + 28), 1);
}

// Below the canal: the line as a ladder of section masses and compliances. Sections are numbered
// from the eardrum, so the entrance (left) is section 16.
void DrawCanalLadder(QPainter& painter) {
  constexpr double kTop = 662.0;
  constexpr double kBottom = 730.0;
  constexpr double kGapLeft = 540.0;
  constexpr double kGapRight = 580.0;
  DrawLabel(painter, QPointF(kCanalStartX, 582), "one section: air mass M and air compliance C",
            Qt::AlignLeft | Qt::AlignTop, SansFont(17), kInk);
  struct Section {
    double left;
    double right;
    int number;
  };
  const Section sections[] = {{kCanalStartX - 10, 400, 16}, {400, 510, 15}, {kGapRight, 680, 1}};
  painter.save();
  painter.setPen(QPen(kInk, 2.0));
  for (const Section& section : sections) {
    DrawElement(painter, Element::kInductor, QPointF(section.left, kTop),
                QPointF(section.right, kTop), QString("M{%1}").arg(section.number), Side::kAbove);
    DrawElement(painter, Element::kCapacitor, QPointF(section.right, kTop),
                QPointF(section.right, kBottom), QString("C{%1}").arg(section.number), Side::kLeft);
    painter.drawLine(QPointF(section.left, kBottom), QPointF(section.right, kBottom));
  }
  DrawNode(painter, QPointF(400, kTop));
  DrawNode(painter, QPointF(510, kTop));
  painter.drawLine(QPointF(510, kTop), QPointF(kGapLeft, kTop));
  painter.drawLine(QPointF(510, kBottom), QPointF(kGapLeft, kBottom));
  painter.setPen(QPen(kInk, 2.0, Qt::DotLine));
  painter.drawLine(QPointF(kGapLeft + 5, kTop), QPointF(kGapRight - 5, kTop));
  painter.drawLine(QPointF(kGapLeft + 5, kBottom), QPointF(kGapRight - 5, kBottom));
  painter.restore();
}

void DrawOssicles(QPainter& painter) {
  painter.save();
  const QPen bonePen(kBoneEdge, 2.0);
  auto drawBone = [&](const QPainterPath& path) {
    painter.setPen(bonePen);
    painter.setBrush(kBone);
    painter.drawPath(path);
  };
  // Thick rods are drawn as an outline pass and a fill pass so they look like solid bone.
  auto drawRod = [&](QPointF a, QPointF b, double width) {
    painter.setPen(QPen(kBoneEdge, width + 4, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(a, b);
    painter.setPen(QPen(kBone, width, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(a, b);
  };
  const QPointF umbo(712, kAxisY + 6);
  const QPointF malleusHead(742, 352);
  const QPointF incusBody(790, 350);
  const QPointF lenticular(842, 428);

  drawRod(umbo, malleusHead + QPointF(-6, 16), 10);
  QPainterPath malleus;
  malleus.addEllipse(malleusHead, 19, 23);
  drawBone(malleus);
  drawRod(incusBody, lenticular, 10);
  QPainterPath incus;
  incus.addEllipse(incusBody, 24, 19);
  drawBone(incus);

  // Stapes: head, two crura and the footplate in the oval window.
  constexpr double kFootX = 982.0;
  constexpr double kFootHalf = 30.0;
  QPainterPath stapes;
  stapes.moveTo(852, kAxisY - 7);
  stapes.cubicTo(900, kAxisY - 12, 940, kAxisY - kFootHalf + 2, kFootX, kAxisY - kFootHalf + 4);
  stapes.lineTo(kFootX, kAxisY + kFootHalf - 4);
  stapes.cubicTo(940, kAxisY + kFootHalf - 2, 900, kAxisY + 12, 852, kAxisY + 7);
  stapes.closeSubpath();
  QPainterPath opening;
  opening.moveTo(880, kAxisY);
  opening.cubicTo(910, kAxisY - 10, 945, kAxisY - kFootHalf + 12, kFootX - 6,
                  kAxisY - kFootHalf + 12);
  opening.lineTo(kFootX - 6, kAxisY + kFootHalf - 12);
  opening.cubicTo(945, kAxisY + kFootHalf - 12, 910, kAxisY + 10, 880, kAxisY);
  drawBone(stapes.subtracted(opening));
  QPainterPath head;
  head.addEllipse(QPointF(850, kAxisY), 10, 10);
  drawBone(head);
  QPainterPath foot;
  foot.addRoundedRect(QRectF(kFootX - 4, kAxisY - kFootHalf, 10, 2 * kFootHalf), 3, 3);
  drawBone(foot);
  painter.restore();

  const QFont font = SansFont(17);
  DrawLeader(painter, QPointF(730, 286), malleusHead + QPointF(-4, -20));
  DrawLabel(painter, QPointF(730, 282), "malleus", Qt::AlignHCenter | Qt::AlignBottom, font);
  DrawLeader(painter, QPointF(818, 286), incusBody + QPointF(4, -16));
  DrawLabel(painter, QPointF(818, 282), "incus", Qt::AlignHCenter | Qt::AlignBottom, font);
  DrawLeader(painter, QPointF(915, 286), QPointF(915, kAxisY - 17));
  DrawLabel(painter, QPointF(915, 282), "stapes", Qt::AlignHCenter | Qt::AlignBottom, font);
  DrawBadge(painter, QPointF(940, kAxisY - 50), 2);
}

// The two middle-ear muscles, drawn as spindles with their tendons.
void DrawMuscles(QPainter& painter) {
  struct Muscle {
    QPointF centre;
    double halfLength;
    QPointF tendonEnd;
    const char* name;
  };
  const Muscle muscles[] = {{QPointF(772, 525), 40, QPointF(718, 418), "tensor\ntympani"},
                            {QPointF(872, 525), 32, QPointF(862, kAxisY + 6), "stapedius"}};
  painter.save();
  for (const Muscle& muscle : muscles) {
    painter.setPen(QPen(kMuscleEdge, 2.0));
    painter.drawLine(muscle.centre - QPointF(muscle.halfLength - 4, 0), muscle.tendonEnd);
    painter.setBrush(kMuscle);
    painter.drawEllipse(muscle.centre, muscle.halfLength, 12.0);
  }
  painter.restore();
  for (const Muscle& muscle : muscles) {
    DrawLabel(painter, muscle.centre + QPointF(0, 18), muscle.name, Qt::AlignHCenter | Qt::AlignTop,
              SansFont(16), kMuscleEdge);
  }
}

void DrawMiddleEar(QPainter& painter) {
  painter.save();
  painter.setPen(QPen(QColor(150, 178, 210), 2.0));
  painter.setBrush(QColor(238, 245, 252));
  painter.drawRoundedRect(kMiddleEarBox, 28, 28);
  painter.restore();
  DrawLabel(painter, QPointF(kMiddleEarBox.center().x(), 190), "Middle ear",
            Qt::AlignHCenter | Qt::AlignTop, SansFont(22, true));
  DrawLabel(painter, QPointF(kMiddleEarBox.center().x(), 218), "eardrum, ossicles, muscles",
            Qt::AlignHCenter | Qt::AlignTop, SansFont(17));

  // Eardrum: a shallow cone pointing inwards, closing the canal.
  painter.save();
  painter.setPen(QPen(kMembrane, 5.0, Qt::SolidLine, Qt::RoundCap));
  QPainterPath drum;
  drum.moveTo(kCanalEndX, kAxisY - kCanalDrumHalf - 4);
  drum.quadTo(kCanalEndX + 30, kAxisY + 6, kCanalEndX, kAxisY + kCanalDrumHalf + 4);
  painter.drawPath(drum);
  painter.restore();
  DrawLeader(painter, QPointF(660, 540), QPointF(kCanalEndX + 6, kAxisY + 26));
  DrawLabel(painter, QPointF(652, 540), "eardrum", Qt::AlignRight | Qt::AlignVCenter, SansFont(17),
            kMembrane);

  DrawMuscles(painter);
  DrawOssicles(painter);
  DrawLabel(painter, QPointF(kMiddleEarBox.center().x(), 612),
            "middle-ear muscles (acoustic reflex)", Qt::AlignHCenter | Qt::AlignTop,
            SansFont(17, true), kMuscleEdge);
  DrawLabel(painter, QPointF(kMiddleEarBox.center().x(), 636),
            "warned: already contracted\nunwarned: contract after the reflex delay",
            Qt::AlignHCenter | Qt::AlignTop, SansFont(16), kInk);
}

void DrawCochleaScale(QPainter& painter, double axisY) {
  painter.save();
  painter.setPen(QPen(kInk, 1.8));
  painter.drawLine(QPointF(CochleaX(0), axisY), QPointF(CochleaX(kCochleaLengthCm), axisY));
  for (int i = 0; i <= 35; ++i) {
    const double x = CochleaX(0.1 * i);
    const double tick = (i % 5 == 0) ? 10.0 : 5.0;
    painter.drawLine(QPointF(x, axisY), QPointF(x, axisY + tick));
  }
  painter.restore();
  for (int i = 0; i <= 7; ++i) {
    DrawLabel(painter, QPointF(CochleaX(0.5 * i), axisY + 13), QString::number(0.5 * i, 'g', 2),
              Qt::AlignHCenter | Qt::AlignTop, SansFont(16));
  }
  DrawLabel(painter, QPointF(CochleaX(kCochleaLengthCm / 2), axisY + 36),
            "distance d from the stapes (cm)", Qt::AlignHCenter | Qt::AlignTop, SansFont(17, true));
  DrawLabel(painter, QPointF(CochleaX(0), axisY + 36), "base", Qt::AlignLeft | Qt::AlignTop,
            SansFont(17, false, true), kMuted);
  DrawLabel(painter, QPointF(CochleaX(kCochleaLengthCm), axisY + 36), "apex",
            Qt::AlignRight | Qt::AlignTop, SansFont(17, false, true), kMuted);
}

// A travelling wave for a 2 kHz tone: it grows slowly towards its place and dies quickly after.
void DrawTravellingWave(QPainter& painter) {
  const double peak = PlaceOfFrequencyCm(2000.0);
  QPolygonF wave;
  constexpr int kPoints = 400;
  const double end = peak + 0.45;
  for (int i = 0; i <= kPoints; ++i) {
    const double d = end * i / kPoints;
    const double envelope =
        d < peak ? std::exp((d - peak) / 0.45) : std::exp(-std::pow((d - peak) / 0.16, 2));
    const double phase = 2 * std::numbers::pi * 5.0 * std::pow(d / end, 1.8);
    wave << QPointF(CochleaX(d), kAxisY - 24.0 * envelope * std::sin(phase));
  }
  painter.save();
  painter.setPen(QPen(kWave, 2.5));
  painter.drawPolyline(wave);
  painter.restore();
}

void DrawCochlea(QPainter& painter) {
  const double apex = kCochleaLengthCm;
  QPolygonF duct;
  QPolygonF membrane;
  constexpr double kMembraneEnd = 3.3;  // the helicotrema joins the scalae beyond it
  for (int i = 0; i <= 70; ++i) {
    const double d = apex * i / 70;
    duct << QPointF(CochleaX(d), kAxisY - CochleaHalfHeight(d));
    const double m = kMembraneEnd * i / 70;
    membrane << QPointF(CochleaX(m), kAxisY - MembraneHalfWidth(m));
  }
  for (int i = 70; i >= 0; --i) {
    const double d = apex * i / 70;
    duct << QPointF(CochleaX(d), kAxisY + CochleaHalfHeight(d));
    const double m = kMembraneEnd * i / 70;
    membrane << QPointF(CochleaX(m), kAxisY + MembraneHalfWidth(m));
  }
  painter.save();
  painter.setPen(QPen(kFluidEdge, 3.0));
  painter.setBrush(kFluid);
  painter.drawPolygon(duct);
  painter.setPen(QPen(kMembrane.darker(130), 1.0));
  painter.setBrush(QColor(236, 150, 140));
  painter.drawPolygon(membrane);
  // Round window: a membrane in the wall of the lower scala at the base.
  painter.setPen(QPen(kMembrane, 4.0, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(kCochleaBaseX, kAxisY + 52), QPointF(kCochleaBaseX, kAxisY + 88));
  painter.restore();
  DrawTravellingWave(painter);

  const QFont font = SansFont(17);
  const double labelD = 1.15;
  const QColor fluidText = kFluidEdge.darker(130);
  DrawLabel(painter, QPointF(CochleaX(labelD), kAxisY - 0.6 * CochleaHalfHeight(labelD)),
            "scala vestibuli", Qt::AlignCenter, SansFont(16, false, true), fluidText);
  DrawLabel(painter, QPointF(CochleaX(labelD), kAxisY + 0.6 * CochleaHalfHeight(labelD)),
            "scala tympani", Qt::AlignCenter, SansFont(16, false, true), fluidText);
  DrawLeader(painter, QPointF(CochleaX(2.8), kAxisY + 18), QPointF(CochleaX(2.8), kAxisY + 6));
  DrawLabel(painter, QPointF(CochleaX(2.8), kAxisY + 18), "basilar membrane",
            Qt::AlignHCenter | Qt::AlignTop, font, kMembrane);
  DrawLeader(painter, QPointF(978, 520), QPointF(kCochleaBaseX, 512));
  DrawLabel(painter, QPointF(974, 486), "round\nwindow", Qt::AlignRight | Qt::AlignTop, font,
            kMembrane);
  DrawLeader(painter, QPointF(972, 352), QPointF(983, 406));
  DrawLabel(painter, QPointF(976, 346), "oval\nwindow", Qt::AlignRight | Qt::AlignBottom, font);
  DrawBadge(painter, QPointF(CochleaX(PlaceOfFrequencyCm(2000.0)) + 40, kAxisY + 46), 3);

  // Characteristic frequencies above the duct.
  const double markerY = kAxisY - kCochleaBaseHalf - 22;
  struct Marker {
    double frequencyHz;
    const char* text;
  };
  const Marker markers[] = {{20000, "20 kHz"}, {8000, "8 kHz"}, {2000, "2 kHz"}, {500, "0.5 kHz"}};
  for (const Marker& marker : markers) {
    const double x = CochleaX(PlaceOfFrequencyCm(marker.frequencyHz));
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(kAccent);
    painter.drawPolygon(
        QPolygonF({QPointF(x, markerY + 14), QPointF(x - 7, markerY), QPointF(x + 7, markerY)}));
    painter.setPen(QPen(kAccent, 1.2, Qt::DashLine));
    painter.drawLine(
        QPointF(x, markerY + 14),
        QPointF(x, kAxisY + MembraneHalfWidth(PlaceOfFrequencyCm(marker.frequencyHz))));
    painter.restore();
    DrawLabel(painter, QPointF(x, markerY - 4), marker.text, Qt::AlignHCenter | Qt::AlignBottom,
              SansFont(17, true), kAccent);
  }
  const double middleX = CochleaX(kCochleaLengthCm / 2);
  DrawLabel(painter, QPointF(middleX, 190), "Cochlea, unrolled", Qt::AlignHCenter | Qt::AlignTop,
            SansFont(22, true));
  DrawLabel(painter, QPointF(middleX, 218),
            QString::fromUtf8("characteristic frequency CF \u2248 20.7 kHz \u00b7 exp(\u2212d / "
                              "0.724 cm)"),
            Qt::AlignHCenter | Qt::AlignTop, SansFont(17), kAccent);
  DrawCochleaScale(painter, 585);
}

// The chain of computed quantities, from the sound to the hazard.
void DrawModelChain(QPainter& painter) {
  struct Stage {
    const char* title;
    const char* detail;
  };
  const Stage stages[] = {
      {"Sound pressure", "Pa, measured in the free field,\nat the canal entrance or eardrum"},
      {"Stapes displacement", "\u00b5m, from the outer- and\nmiddle-ear model (time domain)"},
      {"Basilar-membrane displacement",
       "at up to 23 places along the\ncochlea (WKB cochlear model)"},
      {"Hazard (ARU)", "largest over the places;\nallowed exposures = 500 / ARU"}};
  constexpr double kTop = 790.0;
  constexpr double kHeight = 140.0;
  constexpr double kMargin = 40.0;
  constexpr double kArrowGap = 62.0;
  const double width = (kEarWidth - 2 * kMargin - 3 * kArrowGap) / 4;
  for (int i = 0; i < 4; ++i) {
    const double left = kMargin + i * (width + kArrowGap);
    const QRectF box(left, kTop, width, kHeight);
    painter.save();
    painter.setPen(QPen(QColor(120, 140, 170), 2.0));
    painter.setBrush(i == 3 ? QColor(253, 236, 234) : QColor(240, 245, 252));
    painter.drawRoundedRect(box, 14, 14);
    painter.restore();
    DrawLabel(painter, QPointF(box.center().x(), kTop + 22), QString::fromUtf8(stages[i].title),
              Qt::AlignHCenter | Qt::AlignTop, SansFont(20, true), i == 3 ? kAccent : kInk);
    DrawLabel(painter, QPointF(box.center().x(), kTop + 60), QString::fromUtf8(stages[i].detail),
              Qt::AlignHCenter | Qt::AlignTop, SansFont(17), kInk);
    if (i < 3) {
      const double y = kTop + kHeight / 2;
      DrawArrow(painter, QPointF(box.right() + 8, y), QPointF(box.right() + kArrowGap - 8, y),
                kAccent, 5.0, 20);
    }
    if (i < 3) DrawBadge(painter, QPointF(left + 4, kTop + 4), i + 1);
  }
}

QImage DrawEarModel() {
  QImage image(kEarWidth, kEarHeight, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  DrawOuterEar(painter);
  DrawSoundArrival(painter);
  DrawEarCanal(painter);
  DrawCanalLadder(painter);
  DrawMiddleEar(painter);
  DrawCochlea(painter);
  DrawModelChain(painter);
  return image;
}

// ---------------------------------------------------------------------------------------------
// "Image5.jpg": the protector circuit

constexpr int kCircuitWidth = 1200;
constexpr int kCircuitHeight = 800;

void DrawBranchTitle(QPainter& painter, QPointF at, const QString& text, const QColor& colour) {
  DrawLabel(painter, at, text, Qt::AlignHCenter | Qt::AlignTop, SansFont(16, true, true), colour);
}

// Rows of the legend: element names, role in an earmuff, role in an earplug.
void DrawCircuitLegend(QPainter& painter, double top) {
  const QStringList rows[] = {
      {"L{cup}", "mass of the cup", "mass of the plug"},
      {"C{cush}, R{cush}", "compliance and damping of the cushion",
       "compliance and damping of the plug in the canal"},
      {"C{skin}, R{skin}", "skin and tissue under the cushion", "not used"},
      {"C{cup}", "air volume under the cup", "air volume behind the plug"},
      {"L{leak}, R{leak}", "leak under the cushion", "leak past the plug"},
      {"C{mat}, L{mat}, R{mat}", "sound through the cup wall", "sound through the plug material"}};
  constexpr double kRow = 23.0;
  const double columns[] = {40, 250, 700};
  const QFont headFont = SansFont(17, true);
  DrawLabel(painter, QPointF(columns[0], top), "Element", Qt::AlignLeft | Qt::AlignTop, headFont);
  DrawLabel(painter, QPointF(columns[1], top), "Earmuff", Qt::AlignLeft | Qt::AlignTop, headFont);
  DrawLabel(painter, QPointF(columns[2], top), "Earplug", Qt::AlignLeft | Qt::AlignTop, headFont);
  painter.save();
  painter.setPen(QPen(kLeader, 1.0));
  painter.drawLine(QPointF(columns[0], top + kRow), QPointF(kCircuitWidth - 40, top + kRow));
  painter.restore();
  double y = top + kRow + 3;
  for (const QStringList& row : rows) {
    DrawSubscripted(painter, QPointF(columns[0], y), row[0], Qt::AlignLeft | Qt::AlignTop,
                    SansFont(16, true, true));
    DrawLabel(painter, QPointF(columns[1], y), row[1], Qt::AlignLeft | Qt::AlignTop, SansFont(16));
    DrawLabel(painter, QPointF(columns[2], y), row[2], Qt::AlignLeft | Qt::AlignTop, SansFont(16));
    y += kRow;
  }
}

// Layout of the network: three parallel branches between two buses, then the cup volume.
constexpr double kSourceX = 70.0;
constexpr double kLeftBus = 230.0;
constexpr double kRightBus = 800.0;
constexpr double kCupX = 915.0;
constexpr double kOutX = 1030.0;
constexpr double kGroundY = 560.0;
constexpr double kLeakY = 140.0;
constexpr double kMaterialY = 245.0;
constexpr double kFeedY = kMaterialY;  // the source and the output join the buses here
constexpr double kSkinY = 345.0;
constexpr double kCushionY = 440.0;
constexpr double kPistonY = (kSkinY + kCushionY) / 2;
constexpr double kSplitLeft = 410.0;
constexpr double kSplitRight = 760.0;
constexpr double kSplitMiddle = (kSplitLeft + kSplitRight) / 2;

void DrawLeakAndMaterialBranches(QPainter& painter) {
  DrawElement(painter, Element::kInductor, QPointF(kLeftBus, kLeakY), QPointF(515, kLeakY),
              "L{leak}", Side::kAbove);
  DrawElement(painter, Element::kResistor, QPointF(515, kLeakY), QPointF(kRightBus, kLeakY),
              "R{leak}", Side::kAbove);
  DrawBranchTitle(painter, QPointF(515, kLeakY + 20), "leakage around the earmuff or plug",
                  kLeakBlue);

  DrawElement(painter, Element::kResistor, QPointF(kLeftBus, kMaterialY), QPointF(420, kMaterialY),
              "R{mat}", Side::kAbove);
  DrawElement(painter, Element::kInductor, QPointF(420, kMaterialY), QPointF(610, kMaterialY),
              "L{mat}", Side::kAbove);
  DrawElement(painter, Element::kCapacitor, QPointF(610, kMaterialY),
              QPointF(kRightBus, kMaterialY), "C{mat}", Side::kAbove);
  DrawBranchTitle(painter, QPointF(515, kMaterialY + 24), "material deformation", kInk);
}

// The cup (or plug) mass in series with the skin and cushion paths, which share its force.
void DrawPistonBranch(QPainter& painter) {
  DrawElement(painter, Element::kInductor, QPointF(kLeftBus, kPistonY),
              QPointF(kSplitLeft, kPistonY), "L{cup}", Side::kAbove);
  painter.drawLine(QPointF(kSplitLeft, kSkinY), QPointF(kSplitLeft, kCushionY));
  painter.drawLine(QPointF(kSplitRight, kSkinY), QPointF(kSplitRight, kCushionY));
  painter.drawLine(QPointF(kSplitRight, kPistonY), QPointF(kRightBus, kPistonY));
  DrawNode(painter, QPointF(kSplitLeft, kPistonY));
  DrawNode(painter, QPointF(kSplitRight, kPistonY));
  DrawElement(painter, Element::kResistor, QPointF(kSplitLeft, kSkinY),
              QPointF(kSplitMiddle, kSkinY), "R{skin}", Side::kAbove);
  DrawElement(painter, Element::kCapacitor, QPointF(kSplitMiddle, kSkinY),
              QPointF(kSplitRight, kSkinY), "C{skin}", Side::kAbove);
  DrawElement(painter, Element::kResistor, QPointF(kSplitLeft, kCushionY),
              QPointF(kSplitMiddle, kCushionY), "R{cush}", Side::kBelow);
  DrawElement(painter, Element::kCapacitor, QPointF(kSplitMiddle, kCushionY),
              QPointF(kSplitRight, kCushionY), "C{cush}", Side::kBelow);
  DrawBranchTitle(painter, QPointF(kSplitMiddle - 30, kCushionY + 60),
                  "earmuff or plug as rigid piston on cushion and skin", kPistonGrey);
}

void DrawSourceAndBuses(QPainter& painter) {
  DrawPressureSource(painter, QPointF(kSourceX, kFeedY), QPointF(kSourceX, kGroundY));
  painter.drawLine(QPointF(kSourceX, kFeedY), QPointF(kLeftBus, kFeedY));
  painter.drawLine(QPointF(kLeftBus, kLeakY), QPointF(kLeftBus, kPistonY));
  painter.drawLine(QPointF(kRightBus, kLeakY), QPointF(kRightBus, kPistonY));
  painter.drawLine(QPointF(kSourceX, kGroundY), QPointF(kOutX, kGroundY));
  DrawNode(painter, QPointF(kLeftBus, kFeedY));
  DrawNode(painter, QPointF(kRightBus, kFeedY));
  DrawGround(painter, QPointF((kSourceX + kLeftBus) / 2, kGroundY));
  DrawLabel(painter, QPointF(kSourceX + 40, (kFeedY + kGroundY) / 2 + 40),
            "sound\npressure\noutside", Qt::AlignLeft | Qt::AlignVCenter, SansFont(17, true),
            kWave);
}

void DrawCupVolumeAndOutput(QPainter& painter) {
  painter.drawLine(QPointF(kRightBus, kFeedY), QPointF(kOutX, kFeedY));
  DrawNode(painter, QPointF(kCupX, kFeedY));
  DrawElement(painter, Element::kCapacitor, QPointF(kCupX, kFeedY), QPointF(kCupX, kGroundY),
              "C{cup}", Side::kRight);
  DrawNode(painter, QPointF(kCupX, kGroundY));
  DrawTerminal(painter, QPointF(kOutX, kFeedY));
  DrawTerminal(painter, QPointF(kOutX, kGroundY));
  DrawArrow(painter, QPointF(kOutX + 30, kGroundY - 20), QPointF(kOutX + 30, kFeedY + 20), kAccent,
            2.5, 14);
  DrawLabel(painter, QPointF(kOutX + 44, (kFeedY + kGroundY) / 2 - 30),
            "pressure\nunder the\nprotector", Qt::AlignLeft | Qt::AlignVCenter, SansFont(17, true),
            kAccent);
  DrawLabel(painter, QPointF(kOutX + 44, (kFeedY + kGroundY) / 2 + 50),
            QString::fromUtf8("\u2192 ear-canal\nentrance of\nthe ear model"),
            Qt::AlignLeft | Qt::AlignVCenter, SansFont(16), kInk);
}

QImage DrawProtectorCircuit() {
  QImage image(kCircuitWidth, kCircuitHeight, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);

  DrawLabel(painter, QPointF(kCircuitWidth / 2.0, 18),
            "Electro-acoustic model of the hearing protector", Qt::AlignHCenter | Qt::AlignTop,
            SansFont(28, true));
  DrawSubscripted(painter, QPointF(kCircuitWidth / 2.0, 62),
                  QString::fromUtf8("p{under} / p{outside} = Z{cup} / (Z{cup} + Z{leak} \u2225 "
                                    "Z{mat} \u2225 Z{piston})"),
                  Qt::AlignHCenter | Qt::AlignTop, SansFont(20, false, true), kMuted);

  painter.setPen(QPen(kInk, 2.4));
  painter.setBrush(Qt::NoBrush);
  DrawSourceAndBuses(painter);
  DrawLeakAndMaterialBranches(painter);
  DrawPistonBranch(painter);
  DrawCupVolumeAndOutput(painter);

  DrawLabel(painter, QPointF(kLeftBus, kGroundY + 8),
            "acoustic analogy: pressure as voltage, volume velocity as current",
            Qt::AlignLeft | Qt::AlignTop, SansFont(15, false, true), kMuted);
  DrawCircuitLegend(painter, 602);
  return image;
}

bool SavePicture(const QImage& image, const QString& path) {
  constexpr int kJpegQuality = 90;
  if (image.save(path, "JPG", kJpegQuality)) return true;
  std::fprintf(stderr, "make_pictures: cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace
}  // namespace orvek

int main(int argc, char* argv[]) {
  // Drawing needs fonts but no screen.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  const QStringList arguments = QGuiApplication::arguments();
  if (arguments.size() != 2) {
    std::fprintf(stderr, "usage: make_pictures DATA_FOLDER\n");
    return 2;
  }
  const QDir folder(arguments[1]);
  const bool saved =
      orvek::SavePicture(orvek::DrawEarModel(), folder.filePath("EarModel.jpg")) &&
      orvek::SavePicture(orvek::DrawProtectorCircuit(), folder.filePath("Image5.jpg"));
  return saved ? 0 : 1;
}
