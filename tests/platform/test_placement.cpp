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

TEST(PopupPlacement, opensUnderItsAnchorWhenItFitsElseAboveAndAlwaysInside)
{
    const QRect screen(0, 0, 1280, 1024);
    const QSize dialog(300, 200);
    // Room below: straight under the anchor, left edges aligned.
    EXPECT_EQ(PlaceBelow(QRect(100, 100, 200, 40), dialog, screen), QPoint(100, 140));
    // Exactly fits below the last row of pixels.
    EXPECT_EQ(PlaceBelow(QRect(100, 784, 200, 40), dialog, screen), QPoint(100, 824));
    // One pixel short below: above the anchor.
    EXPECT_EQ(PlaceBelow(QRect(100, 785, 200, 40), dialog, screen), QPoint(100, 585));
    // Near the right edge: pulled left to stay whole.
    EXPECT_EQ(PlaceBelow(QRect(1200, 100, 60, 40), dialog, screen), QPoint(980, 140));
    // Anchor partly off the left of the screen.
    EXPECT_EQ(PlaceBelow(QRect(-50, 100, 60, 40), dialog, screen), QPoint(0, 140));
    // A second screen to the right with a panel on top: its own area counts, not the first's.
    const QRect second(1280, 30, 1920, 1050);
    EXPECT_EQ(PlaceBelow(QRect(3100, 900, 80, 40), dialog, second), QPoint(2900, 700));
}

TEST(PopupPlacement, aPopupLargerThanTheScreenKeepsItsTopLeftCornerVisible)
{
    const QRect screen(0, 30, 800, 570);
    // No room above or below: pushed to fit, title bar on screen.
    EXPECT_EQ(PlaceBelow(QRect(300, 200, 100, 40), QSize(400, 500), screen), QPoint(300, 100));
    EXPECT_EQ(PlaceBelow(QRect(300, 200, 100, 40), QSize(1000, 900), screen), QPoint(0, 30));
}
