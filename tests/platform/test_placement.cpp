// Window placements read back from the settings: a record the window cannot use is ignored.
#include "platform/WindowPlacement.h"

#include <gtest/gtest.h>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>

using namespace vm;

namespace {

class PlacementTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QSettings settings{dir.filePath("settings.ini"), QSettings::IniFormat};

    // Stores the placement of a window at this geometry under "MAIN".
    void StoreAt(const QRect& geometry)
    {
        QWidget saved;
        saved.setGeometry(geometry);
        SavePlacement(settings, QStringLiteral("MAIN"), saved);
    }
};

}  // namespace

TEST_F(PlacementTest, placementSmallerThanTheWindowsMinimumIsIgnored)
{
    StoreAt(QRect(40, 40, 316, 357));
    // A window whose contents need more room than the record gives, without a minimum of its own.
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* contents = new QWidget(&window);
    contents->setMinimumSize(560, 400);
    layout->addWidget(contents);
    window.resize(960, 600);
    EXPECT_FALSE(RestorePlacement(settings, QStringLiteral("MAIN"), window));
    EXPECT_EQ(window.size(), QSize(960, 600));
}

TEST_F(PlacementTest, placementOnNoScreenIsIgnoredAndAGoodOneIsTaken)
{
    ASSERT_FALSE(QGuiApplication::screens().isEmpty());
    QRect all;
    for (const QScreen* s : QGuiApplication::screens())
        all = all.united(s->geometry());
    QWidget window;
    window.setMinimumSize(200, 150);
    window.resize(400, 300);
    window.move(all.right() + 5000, all.bottom() + 5000);
    EXPECT_FALSE(PlacementUsable(window));
    window.move(all.topLeft() + QPoint(10, 10));
    EXPECT_TRUE(PlacementUsable(window));

    StoreAt(QRect(all.topLeft() + QPoint(20, 30), QSize(320, 240)));
    EXPECT_TRUE(RestorePlacement(settings, QStringLiteral("MAIN"), window));
    EXPECT_EQ(window.size(), QSize(320, 240));
    EXPECT_FALSE(RestorePlacement(settings, QStringLiteral("NONE"), window));
}
