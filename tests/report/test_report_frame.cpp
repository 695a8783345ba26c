#include <gtest/gtest.h>

#include "ReportTestSource.h"
#include "platform/Settings.h"
#include "report/ReportFrame.h"
#include "report/ReportHeaderForm.h"
#include "report/ReportPrinter.h"
#include "report/ReportView.h"

#include <QApplication>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace vm {
namespace {

using test::TestReportSource;

class ReportFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(settingsDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        {
            QSettings s(kCompanyKey, kApplicationKey);
            s.clear();
            s.setValue("Main/Company Header", "KXEC Works");
        }
        const auto f = test::ShippedDataFiles().front();
        ASSERT_TRUE(source.Load(f.model, f.version));
        host.names[5] = QStringLiteral("Fan 5");
    }
    void TearDown() override
    {
        if (frame)
            frame->CloseFrame();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QString Text(int row, int column) const { return frame->Model().Sheet().CellAt(row, column)->text; }

    QTemporaryDir settingsDir;
    test::FakeToolHost host;
    TestReportSource source{host, 5};
    QPointer<CReportFrame> frame;
};

TEST_F(ReportFrameTest, reportOpensOnceAndRebuildsForTheNextNode)
{
    const std::string first = source.data->GroupAt(0)->name;
    const std::string second = source.data->GroupAt(1)->name;
    frame = CReportFrame::Report(host, source, {ReportNodeKind::Group, first}, nullptr);
    ASSERT_TRUE(frame);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->windowTitle(), "Parameter Report");
    EXPECT_EQ(frame->Kind(), kKindReport);
    EXPECT_EQ(Text(2, 4), "KXEC Works");
    EXPECT_EQ(Text(8, 2), QStringLiteral("[ Parameter Group Name : %1 ]").arg(test::Shown(first)));
    EXPECT_EQ(frame->View()->columnSpan(7, 1), 10);

    CReportFrame* again = CReportFrame::Report(host, source, {ReportNodeKind::Group, second}, frame);
    EXPECT_EQ(again, frame.data());
    EXPECT_EQ(Text(8, 2), QStringLiteral("[ Parameter Group Name : %1 ]").arg(test::Shown(second)));
    EXPECT_EQ(host.frames.Find(kKindReport, 5), nullptr);  // not one of the listed tool windows
}

TEST_F(ReportFrameTest, headerAndDeviceNameFollowTheirChanges)
{
    frame = CReportFrame::Report(host, source, {ReportNodeKind::AllGroups, {}}, nullptr);
    const QString date = Text(3, 4);
    {
        QSettings s(kCompanyKey, kApplicationKey);
        s.setValue("Main/Company Header", "New Co");
        s.setValue("Main/Manager Header", "Lee");
    }
    frame->HeaderChanged();
    EXPECT_EQ(Text(2, 4), "New Co");
    EXPECT_EQ(Text(3, 9), "Lee");
    EXPECT_EQ(Text(3, 4), date);
    EXPECT_EQ(frame->Model().data(frame->Model().index(1, 3), Qt::DisplayRole).toString(), "New Co");

    host.names[5] = QStringLiteral("Fan 5b");
    frame->DeviceNameChanged(6);
    EXPECT_EQ(Text(5, 4), "Fan 5");
    frame->DeviceNameChanged(5);
    EXPECT_EQ(Text(5, 4), "Fan 5b");
}

TEST_F(ReportFrameTest, closingSavesThePlacementAndTellsTheEditorOnce)
{
    frame = CReportFrame::Report(host, source, {ReportNodeKind::AllGroups, {}}, nullptr);
    frame->CloseFrame();
    EXPECT_EQ(source.closed, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(frame.isNull());
    QSettings s(kCompanyKey, kApplicationKey);
    EXPECT_FALSE(s.value("Placement/134-5").toByteArray().isEmpty());
}

TEST_F(ReportFrameTest, printJobsAreNumberedAcrossReportsAndAFailedExportIsShown)
{
    frame = CReportFrame::Report(host, source, {ReportNodeKind::AllGroups, {}}, nullptr);
    QTemporaryDir out;
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(out.filePath("p1.pdf"));
    ASSERT_TRUE(frame->PrintTo(printer));
    const QString firstJob = printer.docName();
    ASSERT_TRUE(firstJob.startsWith("VRMN Report"));
    const int n = firstJob.mid(11).toInt();
    printer.setOutputFileName(out.filePath("p2.pdf"));
    ASSERT_TRUE(frame->PrintTo(printer));
    EXPECT_EQ(printer.docName(), QStringLiteral("VRMN Report%1").arg(n + 1));
    EXPECT_GT(QFileInfo(out.filePath("p2.pdf")).size(), 1000);

    EXPECT_FALSE(frame->ExportTo({out.filePath("missing/report.htm"), ReportFormat::Html}));
    ASSERT_EQ(host.messages.Entries().size(), 1u);
    EXPECT_EQ(host.messages.Entries()[0].kind, MessageKind::Error);
    EXPECT_EQ(host.messages.Entries()[0].caption, "Parameter Report");
    EXPECT_TRUE(frame->ExportTo({out.filePath("report.htm"), ReportFormat::Html}));
    EXPECT_EQ(host.messages.Entries().size(), 1u);
}

TEST_F(ReportFrameTest, printPreviewShowsEveryPageOfTheSheet)
{
    frame = CReportFrame::Report(host, source, {ReportNodeKind::AllGroups, {}}, nullptr);
    int shown = 0;
    int expected = -1;
    QTimer poll;
    poll.setInterval(10);
    int polls = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = frame->findChild<QPrintPreviewDialog*>();
        auto* preview = dialog ? dialog->findChild<QPrintPreviewWidget*>() : nullptr;
        if (!preview || (preview->pageCount() == 0 && ++polls < 500))
            return;
        shown = preview->pageCount();
        expected = ReportPrinter(frame->Model().Sheet()).PageCount(*dialog->printer());
        dialog->reject();
    });
    poll.start();
    frame->OnPrintPreview();
    EXPECT_GT(shown, 1);
    EXPECT_EQ(shown, expected);
}

TEST(ReportHeaderForm, textsLongerThanTwentyCharactersAreRefused)
{
    ReportHeaderForm form{QString(20, 'a'), QString(), QString()};
    EXPECT_FALSE(form.FirstTooLong());
    form.author = QString(21, 'b');
    EXPECT_EQ(form.FirstTooLong(), 2);
    EXPECT_EQ(ReportHeaderForm::TooLongText(), "Please enter no more than 20 characters.");
}

}  // namespace
}  // namespace vm

namespace vm {
namespace {

// With VARIMON_REPORT_SAMPLES=<folder>: the report of the largest shipped data file in every export
// format plus a picture of the window, for looking at by hand (run under a real X display).
TEST(ReportSamples, writesEveryFormatAndAScreenPicture_WhenAskedTo)
{
    const QString folder = qEnvironmentVariable("VARIMON_REPORT_SAMPLES");
    if (folder.isEmpty())
        GTEST_SKIP() << "set VARIMON_REPORT_SAMPLES to a folder to write the samples";
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    test::FakeToolHost host;
    TestReportSource source(host, 3);
    test::ShippedFile largest{};
    int most = 0;
    for (const auto& f : test::ShippedDataFiles()) {
        ASSERT_TRUE(source.Load(f.model, f.version));
        if (source.data->TotalItemCount() > most) {
            most = source.data->TotalItemCount();
            largest = f;
        }
    }
    ASSERT_TRUE(source.Load(largest.model, largest.version));
    host.names[3] = QStringLiteral("Pompe « Nord » & Co");
    int i = 0;
    for (const auto& group : source.data->Groups())
        for (const auto& item : group->items) {
            item->valueStatus = (i % 5 == 3) ? 2 : (i % 5 == 0 ? 0 : 1);
            item->value = item->defaultValue + (i % 5 == 2 ? 1 : 0);
            ++i;
        }
    source.AddUserGroup("Commissioning",
                        {source.data->ItemAt(0, 0)->address, source.data->ItemAt(0, 1)->address,
                         source.data->ItemAt(1, 0)->address});
    {
        QSettings s(kCompanyKey, kApplicationKey);
        s.setValue("Main/Company Header", "KXEC <Drives> & Co");
        s.setValue("Main/Devision Header", QStringLiteral("Ünïcode – 東京"));
        s.setValue("Main/Manager Header", "007");
    }
    QPointer<CReportFrame> frame =
        CReportFrame::Report(host, source, {ReportNodeKind::AllGroups, {}}, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
    frame->resize(1000, 720);
    QDir().mkpath(folder);
    for (auto [name, format] : {std::pair{"report.xls", ReportFormat::Xls},
                                {"report.xlsx", ReportFormat::Xlsx},
                                {"report.htm", ReportFormat::Html},
                                {"report.pdf", ReportFormat::Pdf}})
        EXPECT_TRUE(frame->ExportTo({folder + "/" + name, format}));
    QCoreApplication::processEvents();
    EXPECT_TRUE(frame->grab().save(folder + "/window.png"));
    CReportFrame::Report(host, source, {ReportNodeKind::UserGroup, "Commissioning"}, frame);
    EXPECT_TRUE(frame->ExportTo({folder + "/usergroup.xls", ReportFormat::Xls}));
    EXPECT_TRUE(frame->ExportTo({folder + "/usergroup.pdf", ReportFormat::Pdf}));
    EXPECT_TRUE(frame->grab().save(folder + "/usergroup.png"));
    frame->CloseFrame();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace
}  // namespace vm
