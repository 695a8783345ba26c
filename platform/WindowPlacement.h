#pragma once
// Named window placements and docking layouts in the settings ("MAIN", "Main PaneLayout",
// "%d-%d" of the tool windows). The stored form is Qt's own geometry and state blobs.

#include <QString>

class QMainWindow;
class QSettings;
class QWidget;

namespace vm {

void SavePlacement(QSettings& settings, const QString& name, const QWidget& window);
// False when nothing usable is stored under the name.
bool RestorePlacement(QSettings& settings, const QString& name, QWidget& window);

void SavePaneLayout(QSettings& settings, const QString& name, const QMainWindow& window);
bool RestorePaneLayout(QSettings& settings, const QString& name, QMainWindow& window);

}  // namespace vm
