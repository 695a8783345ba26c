// The editor frame: texts, user groups, parameter files, the text listing, closing and the main
// window's notices.

#include "EditorTestSupport.h"

#include "editor/ParaListView.h"
#include "editor/ParaTreeView.h"
#include "paramdb/ParaArray.h"
#include "paramdb/UserGroup.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

namespace vm::test {
namespace {

using EditorFrame = EditorTest;

CItem* FirstWritable(ParameterData& data, int skip = 0)
{
    for (const auto& g : data.Groups())
        for (const auto& item : g->items)
            if (item->writable && !item->IsChoice() && item->minimum < item->maximum && skip-- == 0)
                return item.get();
    return nullptr;
}

std::string Last(const ScriptedMessages& m)
{
    return m.entries.empty() ? std::string() : m.entries.back().text;
}

TEST_F(EditorFrame, titleAndPanesFollowModeAndStation)
{
    CParaFrame* f = OpenOffline(8, 0x0012);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->windowTitle(), "OFF-LINE(QM-E20, Ver1.2) Parameter Editor");
    ParaPaneTexts p = f->PaneTexts();
    EXPECT_EQ(p.online, "OFF-LINE");
    EXPECT_EQ(p.version, "Ver : 1.2");
    EXPECT_EQ(p.mode, "FREQ MODE");
    EXPECT_EQ(p.time1, "TIME1 : 0.1 sec");
    EXPECT_EQ(p.quantity, QString("Parameter Quantity : %1").arg(f->List().RowCount()));
    EXPECT_GT(f->List().RowCount(), 0);
    EXPECT_TRUE(p.graphWatch.isEmpty());
    f->Data()->SetMode(0, 100);
    p = f->PaneTexts();
    EXPECT_EQ(p.mode, "RPM MODE");
    EXPECT_EQ(p.time1, "TIME1 : 0.01 sec");
    f->Data()->SetMode(1, 1);
    EXPECT_EQ(f->PaneTexts().time1, "TIME1 : 1 sec");
    host.SetGraphWatch(true);
    EXPECT_EQ(f->PaneTexts().graphWatch, "Graph Watch Mode");
}

TEST_F(EditorFrame, onlineTitleNamesTheDeviceAndFollowsItsName)
{
    ASSERT_TRUE(ConnectOnline(3));
    auto* f = static_cast<CParaFrame*>(host.frames.Open(kKindParameterEditor, 3));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->windowTitle(), "ON-LINE(3:QM-A20, Ver2.16) Parameter Editor");
    EXPECT_EQ(f->PaneTexts().online, "ON-LINE");
    host.SetDeviceName(3, "Fan 2");
    host.DeviceNameChanged(3);
    QTRY_COMPARE(f->windowTitle(), QString("ON-LINE(3:QM-A20 - Fan 2, Ver2.16) Parameter Editor"));
    // Values not read yet show as such.
    EXPECT_EQ(f->List().Model().State(0), ParaListModel::RowState::NotRead);
    EXPECT_TRUE(f->List().Model().CellText(0, 2).isEmpty());
}

TEST_F(EditorFrame, disconnectClosesTheOnlineEditorWhichKeepsItsDataMeanwhile)
{
    ASSERT_TRUE(ConnectOnline(3, 8, 0x0012));
    StationRecord& r = host.Record(3);
    QPointer<CParaFrame> f = static_cast<CParaFrame*>(host.frames.Open(kKindParameterEditor, 3));
    ASSERT_TRUE(f);
    f->SetFileChooser(&files);
    CCustom* g = f->Logic().NewUserGroup();
    g->AddEntry(FirstWritable(*f->Data())->address, 1);  // modified
    host.script.answers = {false};                       // do not save
    // The main window frees the station's data before the notice arrives.
    r.Reset();
    host.frames.Broadcast(ToolNotice::InvDisconnected, 3);
    EXPECT_FALSE(f->List().Model().CellText(0, 1).isEmpty());
    QTRY_VERIFY(!host.frames.Find(kKindParameterEditor, 3));
    EXPECT_EQ(host.script.entries.size(), 1u);
    EXPECT_NE(host.script.entries[0].text.find("is modified"), std::string::npos);
}

TEST_F(EditorFrame, newUserGroupNamesCountAcrossEditorsAndSkipOpenPaths)
{
    CParaFrame* a = OpenOffline(8, 0x0012);
    CParaFrame* b = OpenOffline(8, 0x0012);
    ASSERT_TRUE(a && b);
    const QString cwd = QDir::currentPath();
    EXPECT_EQ(QString::fromStdString(a->Logic().NewUserGroup()->Path()), cwd + "/custom_QM-E20_v1.2_1.usr");
    EXPECT_EQ(QString::fromStdString(b->Logic().NewUserGroup()->Path()), cwd + "/custom_QM-E20_v1.2_2.usr");
    // An open group already holding the next name makes the counter skip it.
    ParaFrameLogic::ResetNewGroupCounter(2);
    CCustom* third = b->Logic().NewUserGroup();
    EXPECT_EQ(QString::fromStdString(third->Path()), cwd + "/custom_QM-E20_v1.2_3.usr");
    EXPECT_EQ(third->Name(), "custom_QM-E20_v1.2_3");
    EXPECT_TRUE(third->IsUntitled());
    EXPECT_FALSE(third->IsModified());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(third->Path())));
    // Added to the tree without being selected.
    EXPECT_TRUE(b->Tree().UserGroupNode(third));
    EXPECT_NE(b->Tree().SelectedUserGroup(), third);
}

TEST_F(EditorFrame, parameterFileRoundTrip)
{
    CParaFrame* f = OpenOffline();
    ASSERT_TRUE(f);
    ParameterData& data = *f->Data();
    CItem* item = FirstWritable(data);
    ASSERT_TRUE(item);
    const uint32_t original = item->value;
    item->value = item->maximum;
    files.names = {Path("set.par")};
    ASSERT_TRUE(f->Logic().SaveParameterFile());
    EXPECT_EQ(Last(host.script), "Saving parameter file is successful");
    item->value = original;
    item->valueStatus = 0;

    files.names = {Path("set.par")};
    ASSERT_TRUE(f->Logic().ReadParameterFile());
    EXPECT_EQ(Last(host.script), "Reading parameter file is successful");
    EXPECT_EQ(item->value, item->maximum);
    EXPECT_EQ(item->valueStatus, 1);
    QSettings s(kCompanyKey, kApplicationKey);
    EXPECT_EQ(s.value("Main/Para File Dir").toString(), dir.path());

    // Saving over it asks first; No leaves it.
    files.names = {Path("set.par")};
    host.script.answers = {false};
    EXPECT_FALSE(f->Logic().SaveParameterFile());
    EXPECT_NE(Last(host.script).find("set.par file is already exist"), std::string::npos);

    // A file of another model is refused by the format itself, with nothing changed.
    CParaArray other(8, 0x0012);
    other.Append(item->address, item->minimum);
    ArchiveFile af;
    af.Attach(Path("other.par").toStdString(), &other);
    ASSERT_TRUE(af.Save(false));
    files.names = {Path("other.par")};
    host.script.entries.clear();
    EXPECT_FALSE(f->Logic().ReadParameterFile());
    EXPECT_EQ(item->value, item->maximum);
    for (const auto& e : host.script.entries)
        EXPECT_NE(e.text, "Fail to open parameter file");
}

TEST_F(EditorFrame, openingAUserGroupTwiceOrThroughALinkOpensItOnce)
{
    CParaFrame* f = OpenOffline(8, 0x0012);
    ASSERT_TRUE(f);
    CCustom* g = f->Logic().NewUserGroup();
    ASSERT_EQ(AddToUserGroup(*g, *f->Data(), {FirstWritable(*f->Data())->address, 0x7777}), 1);
    files.names = {Path("pumps.usr")};
    ASSERT_TRUE(f->Logic().SaveUserGroup(*g));
    EXPECT_EQ(g->Name(), "pumps");
    EXPECT_FALSE(g->IsModified());
    ASSERT_TRUE(f->Logic().CloseUserGroup(*g));

    ASSERT_TRUE(f->Logic().OpenUserGroupFile(Path("pumps.usr")));
    ASSERT_EQ(f->Logic().UserGroups().size(), 1u);
    EXPECT_EQ(f->Tree().SelectedUserGroup(), f->Logic().UserGroups()[0].get());
    host.script.entries.clear();
    EXPECT_TRUE(f->Logic().OpenUserGroupFile(Path("pumps.usr")));
    ASSERT_TRUE(QFile::link(Path("pumps.usr"), Path("link.usr")));
    EXPECT_TRUE(f->Logic().OpenUserGroupFile(Path("link.usr")));
    QDir::setCurrent(dir.path());
    ASSERT_TRUE(QDir().mkdir("sub"));
    EXPECT_TRUE(f->Logic().OpenUserGroupFile("./sub/../pumps.usr"));
    EXPECT_EQ(f->Logic().UserGroups().size(), 1u);
    EXPECT_EQ(f->Tree().UserGroupRoot()->childCount(), 1);
    EXPECT_TRUE(host.script.entries.empty());
}

TEST_F(EditorFrame, userGroupFromANonAsciiFileNameShowsItsNameUngarbled)
{
    CParaFrame* f = OpenOffline(8, 0x0012);
    ASSERT_TRUE(f);
    CCustom g(nullptr, 8, 0x0012);
    g.AddEntry(FirstWritable(*f->Data())->address, 1);
    const QString name = QStringLiteral("Pumpen Übersicht 東京");
    ArchiveFile af;
    const QString path = dir.filePath(name + ".usr");
    af.Attach(QFile::encodeName(path).toStdString(), &g);
    ASSERT_TRUE(af.Save(false));
    ASSERT_TRUE(f->Logic().OpenUserGroupFile(path));
    ASSERT_EQ(f->Tree().UserGroupRoot()->childCount(), 1);
    EXPECT_EQ(f->Tree().UserGroupRoot()->child(0)->text(0), name);
}

TEST_F(EditorFrame, userGroupOfAnotherModelOrWithUnknownAddressesOpensAsTheRulesSay)
{
    CParaFrame* f = OpenOffline(8, 0x0012);
    ASSERT_TRUE(f);
    CCustom other(nullptr, 4, kLargestVersion);
    other.AddEntry(1, 1);
    ArchiveFile af;
    af.Attach(Path("a20.usr").toStdString(), &other);
    ASSERT_TRUE(af.Save(false));
    EXPECT_FALSE(f->Logic().OpenUserGroupFile(Path("a20.usr")));
    EXPECT_EQ(Last(host.script), CCustom::kWrongModelText);
    EXPECT_EQ(host.script.entries.back().caption, "Parameter Editor");
    EXPECT_TRUE(f->Logic().UserGroups().empty());

    CCustom mixed(nullptr, 8, 0x0012);
    mixed.AddEntry(FirstWritable(*f->Data())->address, 1);
    mixed.AddEntry(0x7777, 1);
    af.Attach(Path("mixed.usr").toStdString(), &mixed);
    ASSERT_TRUE(af.Save(false));
    ASSERT_TRUE(f->Logic().OpenUserGroupFile(Path("mixed.usr")));
    EXPECT_EQ(f->Logic().UserGroups()[0]->Count(), 1u);
    EXPECT_FALSE(f->Logic().UserGroups()[0]->IsModified());
}

TEST_F(EditorFrame, saveAsTrimsTheNameBeforeCheckingItAgainstOpenGroups)
{
    CParaFrame* f = OpenOffline(8, 0x0012);
    ASSERT_TRUE(f);
    CCustom* first = f->Logic().NewUserGroup();
    files.names = {Path("one.usr")};
    ASSERT_TRUE(f->Logic().SaveUserGroup(*first));
    // The dialog offered the untitled group's own name.
    ASSERT_EQ(files.folders.size(), 1u);
    EXPECT_TRUE(files.folders[0].endsWith("/custom_QM-E20_v1.2_1.usr")) << files.folders[0].toStdString();
    CCustom* second = f->Logic().NewUserGroup();
    second->AddEntry(FirstWritable(*f->Data())->address, 0);
    // The same name with blanks around it is the open group's file: refused, and asked again.
    files.names = {"  " + Path("one.usr") + "  ", Path("two.usr")};
    ASSERT_TRUE(f->Logic().SaveUserGroup(*second));
    EXPECT_EQ(host.script.Texts().front(),
              "Selected user group file's name is already opened.\nPlease, select again with other name ?");
    EXPECT_EQ(files.titles.size(), 3u);
    EXPECT_EQ(second->Name(), "two");
    EXPECT_EQ(QString::fromStdString(first->Path()), Path("one.usr"));
    // Another open group's path through a link is caught the same way.
    ASSERT_TRUE(QFile::link(Path("one.usr"), Path("alias.usr")));
    CCustom* third = f->Logic().NewUserGroup();
    files.names = {Path("alias.usr"), QString()};
    host.script.entries.clear();
    EXPECT_FALSE(f->Logic().SaveUserGroup(*third));
    EXPECT_EQ(host.script.entries.size(), 1u);
    EXPECT_TRUE(third->IsUntitled());
}

TEST_F(EditorFrame, closingAModifiedGroupAsksAndNeverLosesItOnAFailedSave)
{
    CParaFrame* f = OpenOffline(8, 0x0012);
    ASSERT_TRUE(f);
    const uint16_t address = FirstWritable(*f->Data())->address;
    const auto modifiedGroup = [&] {
        CCustom* g = f->Logic().NewUserGroup();
        g->AddEntry(address, 0);
        return g;
    };

    // No: closed without saving.
    CCustom* g = modifiedGroup();
    host.script.answers = {false};
    EXPECT_TRUE(f->Logic().CloseUserGroup(*g));
    EXPECT_TRUE(f->Logic().UserGroups().empty());
    EXPECT_EQ(Last(host.script), "User group[custom_QM-E20_v1.2_1] is modified\nDo you want to save ?");

    // Yes, then the file dialog cancelled, then "keep it": the group stays.
    g = modifiedGroup();
    files.names = {QString()};
    host.script.answers = {true, false};
    EXPECT_FALSE(f->Logic().CloseUserGroup(*g));
    ASSERT_EQ(f->Logic().UserGroups().size(), 1u);
    EXPECT_TRUE(g->IsModified());
    EXPECT_TRUE(f->Tree().UserGroupNode(g));

    // Yes, a save that fails, then "keep it": still there; then discarding explicitly closes it.
    files.names = {"/nonexistent-folder/x.usr"};
    host.script.entries.clear();
    host.script.answers = {true, false};
    EXPECT_FALSE(f->Logic().CloseUserGroup(*g));
    EXPECT_EQ(f->Logic().UserGroups().size(), 1u);
    const auto texts = host.script.Texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Fail to save user group file"), texts.end());
    files.names = {QString()};
    host.script.answers = {true, true};
    EXPECT_TRUE(f->Logic().CloseUserGroup(*g));
    EXPECT_TRUE(f->Logic().UserGroups().empty());

    // Yes and a good save: saved, then closed.
    g = modifiedGroup();
    files.names = {Path("kept.usr")};
    host.script.answers = {true};
    EXPECT_TRUE(f->Logic().CloseUserGroup(*g));
    EXPECT_TRUE(QFile::exists(Path("kept.usr")));
}

TEST_F(EditorFrame, deleteOnAUserGroupNodeAsksThenRemovesIt)
{
    CParaFrame* f = OpenOffline(8, 0x0012);
    ASSERT_TRUE(f);
    CCustom* g = f->Logic().NewUserGroup();
    g->AddEntry(FirstWritable(*f->Data())->address, 0);
    f->Tree().setCurrentItem(f->Tree().GroupRoot());
    QTest::keyClick(&f->Tree(), Qt::Key_Delete);  // not on a user group: nothing
    EXPECT_EQ(f->Logic().UserGroups().size(), 1u);
    f->Tree().setCurrentItem(f->Tree().UserGroupNode(g));
    EXPECT_EQ(f->List().Model().ListMode(), ParaListModel::Mode::UserGroup);
    host.script.answers = {false};
    QTest::keyClick(&f->Tree(), Qt::Key_Delete);
    EXPECT_TRUE(f->Logic().UserGroups().empty());
    EXPECT_EQ(f->Tree().UserGroupRoot()->childCount(), 0);
    ASSERT_EQ(host.script.entries.size(), 1u);
    EXPECT_EQ(host.script.entries[0].kind, MessageKind::Question);
}

TEST_F(EditorFrame, anEditorUnderAMessageBoxCannotBeClosed)
{
    CParaFrame* f = OpenOffline(8, 0x0012);
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->CanCloseFrame());
    bool closable = true;
    host.script.onShow = [&] { closable = f->CanCloseFrame(); };
    files.names = {Path("missing.par")};
    f->Logic().ReadParameterFile();
    EXPECT_FALSE(closable);
    EXPECT_TRUE(f->CanCloseFrame());
    for (const auto& e : host.script.entries)
        EXPECT_EQ(e.caption, "Parameter Editor");
}

TEST_F(EditorFrame, textListingMatchesTheGoldenFile)
{
    CParaFrame* f = OpenOffline(8, 0x0012);
    ASSERT_TRUE(f);
    // One changed value, so the listing shows a value that is not the default.
    CItem* item = FirstWritable(*f->Data());
    item->value = item->maximum;
    files.names = {Path("list")};
    ASSERT_TRUE(f->Logic().SaveTextFile());
    EXPECT_EQ(Last(host.script), "Saving parameter to text file is successful");
    QFile written(Path("list.txt"));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    QFile golden(QStringLiteral(VARIMON_SOURCE_DIR "/tests/editor/golden/offline_QM-E20_0012.txt"));
    if (qEnvironmentVariableIsSet("VARIMON_UPDATE_GOLDEN")) {
        ASSERT_TRUE(golden.open(QIODevice::WriteOnly));
        golden.write(written.readAll());
        GTEST_SKIP() << "golden file rewritten";
    }
    ASSERT_TRUE(golden.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), golden.readAll());
    QSettings s(kCompanyKey, kApplicationKey);
    EXPECT_EQ(s.value("Main/ParaText File Dir").toString(), dir.path());
}

TEST_F(EditorFrame, listingWritesCp1252NamesAsUtf8AndPadsByCharacter)
{
    CParaFrame* f = OpenOffline(8, 0x0012);
    ASSERT_TRUE(f);
    CItem* item = FirstWritable(*f->Data());
    item->displayName =
        "Temp \xb0"
        "C";  // a degree sign in Windows-1252
    const QByteArray listing = f->Logic().TextListing();
    const QString text = QString::fromUtf8(listing);
    const QString line =
        QStringLiteral("%1 = %2, ").arg(item->Code()).arg(QStringLiteral("Temp \u00b0C"), -20);
    EXPECT_TRUE(text.contains(line)) << listing.constData();
    EXPECT_FALSE(listing.contains("\n\n"));  // every line ends in CR LF
}

TEST_F(EditorFrame, aFailedTextExportSaysSoAndLeavesTheOldFile)
{
    CParaFrame* f = OpenOffline(8, 0x0012);
    ASSERT_TRUE(f);
    QFile old(Path("old.txt"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("previous listing");
    old.close();
    EXPECT_FALSE(f->Logic().WriteTextFile(Path("old.txt/inside.txt")));
    EXPECT_EQ(Last(host.script), "Fail to save parameter with text file");
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "previous listing");
}

TEST_F(EditorFrame, closingAskesForModifiedGroupsAndFreesTheSlot)
{
    QPointer<CParaFrame> f = OpenOffline(8, 0x0012);
    ASSERT_TRUE(f);
    const int slot = f->Station();
    CCustom* g = f->Logic().NewUserGroup();
    g->AddEntry(FirstWritable(*f->Data())->address, 0);
    files.names = {QString()};
    host.script.answers = {true, false};  // save, cancel, keep
    EXPECT_FALSE(f->close());
    EXPECT_TRUE(host.frames.Find(kKindParameterEditor, slot));
    files.names = {Path("last.usr")};
    host.script.answers = {true};
    EXPECT_TRUE(f->close());
    EXPECT_FALSE(host.frames.Find(kKindParameterEditor, slot));
    EXPECT_FALSE(host.Record(slot).paramData);
    QSettings s(kCompanyKey, kApplicationKey);
    EXPECT_EQ(s.value("Para/File1").toString(), Path("last.usr"));
    EXPECT_TRUE(s.contains(QString("Main/Para PaneLayout%1").arg(slot)));
}

TEST_F(EditorFrame, closingAnOfflineEditorWithEditedValuesAsksToSaveTheParameterFile)
{
    const char* question = "Parameter data is modified\nDo you want to save to parameter file ?";
    // Unchanged: no question.
    QPointer<CParaFrame> f = OpenOffline(8, 0x0012);
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->close());
    EXPECT_TRUE(host.script.entries.empty());

    // Edited, Yes, the file dialog cancelled: the editor stays with its values.
    f = OpenOffline(8, 0x0012);
    ASSERT_TRUE(f);
    const int slot = f->Station();
    CItem* item = FirstWritable(*f->Data());
    item->value = item->maximum;
    files.names = {QString()};
    host.script.answers = {true};
    EXPECT_FALSE(f->close());
    ASSERT_FALSE(host.script.entries.empty());
    EXPECT_EQ(host.script.entries.front().text, question);
    EXPECT_TRUE(host.frames.Find(kKindParameterEditor, slot));

    // Yes and a name: saved, then closed; the file holds the edited value.
    files.names = {Path("edited.par")};
    host.script.answers = {true};
    EXPECT_TRUE(f->close());
    EXPECT_FALSE(host.frames.Find(kKindParameterEditor, slot));
    CParaArray back(8, 0x0012);
    ArchiveFile af;
    af.Attach(Path("edited.par").toStdString(), &back);
    ASSERT_TRUE(af.Load(false));
    bool found = false;
    for (size_t i = 0; i < back.Count(); ++i)
        if (back.AddressAt(i) == item->address)
            found = back.ValueAt(i) == item->maximum;
    EXPECT_TRUE(found);

    // Edited, No: closed without a file.
    f = OpenOffline(8, 0x0012);
    ASSERT_TRUE(f);
    item = FirstWritable(*f->Data());
    item->value = item->value == item->maximum ? item->minimum : item->maximum;
    host.script.entries.clear();
    host.script.answers = {false};
    EXPECT_TRUE(f->close());
    ASSERT_EQ(host.script.entries.size(), 1u);
    EXPECT_EQ(host.script.entries.front().text, question);
}

TEST_F(EditorFrame, reportCommandGoesThroughTheInjectedOpenerWithTheSelectedNode)
{
    ParaFrameParts parts = EditorParts(LogicRunner(8, 0x0012));
    parts.report = nullptr;
    parts.reportHeader = nullptr;
    CParaFrame* f = OpenOffline(parts);
    ASSERT_TRUE(f);
    f->UpdateCommands();
    EXPECT_FALSE(f->CommandAction(CParaFrame::kReport)->isEnabled());
    EXPECT_FALSE(f->CommandAction(CParaFrame::kReportHeader)->isEnabled());
    ASSERT_TRUE(f->close());

    std::vector<ReportNode> asked;
    parts.report = [&](CParaFrame& editor, const ReportNode& node, QWidget* existing) -> QWidget* {
        EXPECT_EQ(&editor, f);
        EXPECT_EQ(existing, nullptr);
        asked.push_back(node);
        return nullptr;
    };
    int headers = 0;
    parts.reportHeader = [&](CParaFrame& editor) {
        EXPECT_EQ(&editor, f);
        ++headers;
        return true;
    };
    f = OpenOffline(parts);
    ASSERT_TRUE(f);
    f->UpdateCommands();
    ASSERT_TRUE(f->CommandAction(CParaFrame::kReport)->isEnabled());
    f->CommandAction(CParaFrame::kReport)->trigger();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].kind, ReportNodeKind::Group);
    EXPECT_EQ(asked[0].name, f->Data()->GroupName(0));
    EXPECT_EQ(f->ReportData(), f->Data());
    EXPECT_FALSE(f->ReportOnline());
    ASSERT_TRUE(f->CommandAction(CParaFrame::kReportHeader)->isEnabled());
    f->CommandAction(CParaFrame::kReportHeader)->trigger();
    EXPECT_EQ(headers, 1);
}

}  // namespace
}  // namespace vm::test

namespace vm::test {
namespace {

TEST_F(EditorFrame, theReportWindowBelongsToItsEditor)
{
    CParaFrame* f = OpenOffline(8, 0x0012);
    ASSERT_TRUE(f);
    f->UpdateCommands();
    ASSERT_TRUE(f->CommandAction(CParaFrame::kReport)->isEnabled());
    f->CommandAction(CParaFrame::kReport)->trigger();
    QPointer<QWidget> report = f->ReportWindow();
    ASSERT_TRUE(report);
    // A second report reuses the window.
    f->Tree().setCurrentItem(f->Tree().GroupRoot());
    f->CommandAction(CParaFrame::kReport)->trigger();
    EXPECT_EQ(f->ReportWindow(), report.data());
    // Closing the editor closes its report first.
    EXPECT_TRUE(f->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTRY_VERIFY(!report);
}

}  // namespace
}  // namespace vm::test
