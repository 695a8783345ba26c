#include <gtest/gtest.h>

#include "ReportTestSource.h"
#include "platform/Settings.h"
#include "report/ReportFrame.h"
#include "report/ReportHeaderForm.h"
#include "report/ReportPrinter.h"
#include "report/ReportView.h"

#include <QApplication>
#include <QPointer>
#include <QPrinter>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

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
    QString Text(int row, int column) const
    {
        return frame->Model().Sheet().CellAt(row, column)->text;
    }

    QTemporaryDir settingsDir;
    test::FakeToolHost host;
    TestReportSource source{host, 5};
    QPointer<CReportFrame> frame;
};

TEST_F(ReportFrameTest, reportOpensOnceAndRebuildsForTheNextNode)
{
    const std::string first = source.data->GroupAt(0)->name;
    const std::string second = source.data->GroupAt(1)->name;
    frame = CReportFrame::Report(host, source, {ReportNodeKind::kGroup, first}, nullptr);
    ASSERT_TRUE(frame);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->windowTitle(), "Parameter Report");
    EXPECT_EQ(frame->Kind(), kKindReport);
    EXPECT_EQ(Text(2, 4), "KXEC Works");
    EXPECT_EQ(Text(8, 2), QStringLiteral("[ Parameter Group Name : %1 ]").arg(QString::fromStdString(first)));
    EXPECT_EQ(frame->View()->columnSpan(7, 1), 10);

    CReportFrame* again = CReportFrame::Report(host, source, {ReportNodeKind::kGroup, second}, frame);
    EXPECT_EQ(again, frame.data());
    EXPECT_EQ(Text(8, 2), QStringLiteral("[ Parameter Group Name : %1 ]").arg(QString::fromStdString(second)));
    EXPECT_EQ(host.frames.Find(kKindReport, 5), nullptr);  // not one of the listed tool windows
}

TEST_F(ReportFrameTest, headerAndDeviceNameFollowTheirChanges)
{
    frame = CReportFrame::Report(host, source, {ReportNodeKind::kAllGroups, {}}, nullptr);
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
    frame = CReportFrame::Report(host, source, {ReportNodeKind::kAllGroups, {}}, nullptr);
    frame->CloseFrame();
    EXPECT_EQ(source.closed, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(frame.isNull());
    QSettings s(kCompanyKey, kApplicationKey);
    EXPECT_FALSE(s.value("Placement/134-5").toByteArray().isEmpty());
}

TEST_F(ReportFrameTest, printJobsAreNumberedAcrossReportsAndAFailedExportIsShown)
{
    frame = CReportFrame::Report(host, source, {ReportNodeKind::kAllGroups, {}}, nullptr);
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

    EXPECT_FALSE(frame->ExportTo({out.filePath("missing/report.htm"), ReportFormat::kHtml}));
    ASSERT_EQ(host.messages.Entries().size(), 1u);
    EXPECT_EQ(host.messages.Entries()[0].kind, MessageKind::Error);
    EXPECT_EQ(host.messages.Entries()[0].caption, "Parameter Report");
    EXPECT_TRUE(frame->ExportTo({out.filePath("report.htm"), ReportFormat::kHtml}));
    EXPECT_EQ(host.messages.Entries().size(), 1u);
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
