#include "platform/WindowPlacement.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include <algorithm>

namespace vm {

namespace {

QString PlacementKey(const QString& name)
{
    return QStringLiteral("Placement/") + name;
}
QString LayoutKey(const QString& name)
{
    return QStringLiteral("Layout/") + name;
}

}  // namespace

void SavePlacement(QSettings& settings, const QString& name, const QWidget& window)
{
    settings.setValue(PlacementKey(name), window.saveGeometry());
}

bool PlacementUsable(const QWidget& window)
{
    // Smaller than the window can be laid out in, or on no screen at all: a damaged record.
    const QSize least = window.minimumSize().expandedTo(window.minimumSizeHint());
    if (window.width() < least.width() || window.height() < least.height())
        return false;
    const QRect frame = window.frameGeometry();
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect shared = screen->availableGeometry().intersected(frame);
        if (shared.width() >= 50 && shared.height() >= 50)
            return true;
    }
    return QGuiApplication::screens().isEmpty();
}

bool RestorePlacement(QSettings& settings, const QString& name, QWidget& window)
{
    const QByteArray blob = settings.value(PlacementKey(name)).toByteArray();
    if (blob.isEmpty())
        return false;
    const QByteArray before = window.saveGeometry();
    if (!window.restoreGeometry(blob))
        return false;
    if (PlacementUsable(window))
        return true;
    window.restoreGeometry(before);
    return false;
}

QPoint PlaceBelow(const QRect& anchor, const QSize& size, const QRect& available)
{
    int x = anchor.left();
    int y = anchor.bottom() + 1;
    if (y + size.height() > available.bottom() + 1 && anchor.top() - size.height() >= available.top())
        y = anchor.top() - size.height();
    // Larger than the screen: its top left corner stays visible, where the title bar is.
    x = std::max(available.left(), std::min(x, available.right() + 1 - size.width()));
    y = std::max(available.top(), std::min(y, available.bottom() + 1 - size.height()));
    return {x, y};
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
