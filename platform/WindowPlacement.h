#pragma once
// Named window placements and docking layouts in the settings ("MAIN", "Main PaneLayout",
// "%d-%d" of the tool windows). The stored form is Qt's own geometry and state blobs.

#include <QRect>
#include <QString>

class QMainWindow;
class QSettings;
class QWidget;

namespace vm {

void SavePlacement(QSettings& settings, const QString& name, const QWidget& window);
// False, with the window left as it was, when nothing usable is stored under the name: no
// record, a damaged one, one smaller than the window's least size, or one on no screen.
bool RestorePlacement(QSettings& settings, const QString& name, QWidget& window);
// True when the window's present geometry is one worth keeping.
bool PlacementUsable(const QWidget& window);

// Where a popup of `size` opens under `anchor` (global coordinates) so that it stays inside
// `available`: under the anchor when it fits, else above it, and pushed inside either way.
QPoint PlaceBelow(const QRect& anchor, const QSize& size, const QRect& available);

void SavePaneLayout(QSettings& settings, const QString& name, const QMainWindow& window);
bool RestorePaneLayout(QSettings& settings, const QString& name, QMainWindow& window);

}  // namespace vm
