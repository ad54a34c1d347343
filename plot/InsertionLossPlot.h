#pragma once
#include <QPainter>
#include <QSize>
#include <span>
#include <string>

#include "plot/PlotFrame.h"
#include "protection/CircuitValues.h"
#include "protection/ProtectorCatalogue.h"

namespace orvek {

// Measured against modelled insertion loss of one protector in the upper half of the client area:
// logarithmic frequency axis a decade beyond the data on each side, -60 to 5 dB, a dashed 0 dB
// line, a green triangle at mean + spread for every measured frequency, the four curves of the
// circuit (total, rigid piston, leakage, material deformation) with their captions in their
// colours, and the protector's name. The frame becomes state.RightScale. Draws nothing but the
// axes when `table` is empty.
void InsertionLossPlot(QPainter& painter, QSize client, std::span<const AttenuationRow> table,
                       const TCircuitValues& circuit, const std::string& protectorName,
                       PlotState& state);

}  // namespace orvek
