#include "platform/WindowPlacement.h"

#include <QMainWindow>
#include <QSettings>
#include <QWidget>

namespace vm {

namespace {

QString PlacementKey(const QString& name) { return QStringLiteral("Placement/") + name; }
QString LayoutKey(const QString& name) { return QStringLiteral("Layout/") + name; }

}  // namespace

void SavePlacement(QSettings& settings, const QString& name, const QWidget& window)
{
    settings.setValue(PlacementKey(name), window.saveGeometry());
}

bool RestorePlacement(QSettings& settings, const QString& name, QWidget& window)
{
    const QByteArray blob = settings.value(PlacementKey(name)).toByteArray();
    return !blob.isEmpty() && window.restoreGeometry(blob);
}

void SavePaneLayout(QSettings& settings, const QString& name, const QMainWindow& window)
{
    settings.setValue(LayoutKey(name), window.saveState());
}

bool RestorePaneLayout(QSettings& settings, const QString& name, QMainWindow& window)
{
    const QByteArray blob = settings.value(LayoutKey(name)).toByteArray();
    return !blob.isEmpty() && window.restoreState(blob);
}

}  // namespace vm
