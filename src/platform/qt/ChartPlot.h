// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QCustomPlot;
class QFont;
class QString;

namespace tavrolin {

class ChartModel;

// Draws the model's lines into the plot, in place of what it held: a panel per line, one
// above the other on a common time axis; a line per quantity, and for ranges in buckets a
// band from minimum to maximum behind the mean; the rain as bars. A range without readings
// gets a text in place of empty axes. A title goes on a line above the panels (for a saved
// picture), in titleFont made bold. Each panel has a cursor, a hidden QCPItemStraightLine
// (the plot's only items) for the window to place at the time it reads out. The caller
// replots.
void DrawChart(QCustomPlot* plot, const ChartModel& model, const QString& title,
               const QFont& titleFont);

}  // namespace tavrolin
