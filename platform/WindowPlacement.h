#pragma once
// Named window placements and docking layouts in the settings ("MAIN", "Main PaneLayout",
// "%d-%d" of the tool windows). The stored form is Qt's own geometry and state blobs.

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

void SavePaneLayout(QSettings& settings, const QString& name, const QMainWindow& window);
bool RestorePaneLayout(QSettings& settings, const QString& name, QMainWindow& window);

}  // namespace vm
