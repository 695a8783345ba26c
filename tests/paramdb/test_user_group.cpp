#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SampleData.h"
#include "paramdb/ParameterData.h"
#include "paramdb/UserGroup.h"

namespace vm {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;
using ::testing::ElementsAre;

class UserGroupTest : public ::testing::Test {
protected:
    TempDir dir;
    MessageLog messages;
    StationRecord record;
    ParameterData data;
    std::string path = dir.File("pumps.usr");

    void SetUp() override
    {
        record.station = 4;
        record.model = 10;
        record.version = 0x15;
        const auto image = test::SampleImage(10, 0x15);
        MemorySource source(image);
        ASSERT_TRUE(data.LoadDataImage(record, source, "sample"));
    }
    bool Save(CCustom& group)
    {
        ArchiveFile file(&messages);
        file.Attach(path, &group);
        return file.Save(true);
    }
    std::unique_ptr<CCustom> Open()
    {
        auto group = std::make_unique<CCustom>(&data);
        group->SetPath(path);
        group->SetUntitled(false);
        ArchiveFile file(&messages);
        file.Attach(path, group.get());
        if (!file.Load(true))
            return nullptr;
        return group;
    }
    std::vector<uint32_t> Addresses(const CCustom& group)
    {
        std::vector<uint32_t> a;
        for (size_t i = 0; i < group.Count(); ++i)
            a.push_back(group.EntryAt(i)->address);
        return a;
    }
};

TEST_F(UserGroupTest, anEmptyGroupIsA14ByteFile)
{
    CCustom group(&data, 10, 0x15);
    ASSERT_TRUE(Save(group));
    EXPECT_THAT(ReadBytes(path), ElementsAre(0x6A, 0x3F, 0, 0, 10, 0, 0, 0, 0x15, 0, 0, 0, 0, 0));
}

TEST_F(UserGroupTest, entriesRoundTripWithTheirOwnValuesAndStatusZero)
{
    CCustom group(&data, 10, 0x15);
    group.AddEntry(0xA103, 2)->valueStatus = 1;
    group.AddEntry(0xA101, 300);
    ASSERT_TRUE(Save(group));
    EXPECT_EQ(ReadBytes(path).size(), 14u + 16);
    auto back = Open();
    ASSERT_TRUE(back);
    EXPECT_THAT(Addresses(*back), ElementsAre(0xA103, 0xA101));
    EXPECT_EQ(back->EntryAt(1)->value, 300u);
    EXPECT_EQ(back->EntryAt(0)->valueStatus, 0);
    EXPECT_EQ(back->EntryAt(0)->Item(), data.FindItem(0xA103));
    EXPECT_EQ(back->EntryAt(0)->owner, back.get());
    EXPECT_EQ(back->Name(), "pumps");
    // The entry's value is formatted through its item, forced, even online and unread.
    EXPECT_EQ(back->EntryAt(0)->Item()->ValueText(back->EntryAt(0)->value, true), "RS-485");
    EXPECT_EQ(back->EntryAt(1)->Item()->ValueText(back->EntryAt(1)->value, true), "30.0");
}

TEST_F(UserGroupTest, sixtyFiveThousandFiveHundredThirtyFiveEntriesUseTheLongCount)
{
    CCustom group(&data, 10, 0x15);
    for (uint32_t i = 0; i < 65535; ++i)
        group.AddEntry(i, i + 1);
    ASSERT_TRUE(Save(group));
    const auto bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 18u + 8 * 65535);
    EXPECT_THAT(std::vector<uint8_t>(bytes.begin() + 12, bytes.begin() + 26),
                ElementsAre(0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0));
    auto back = Open();
    ASSERT_TRUE(back);
    ASSERT_EQ(back->Count(), 65535u);
    EXPECT_EQ(back->EntryAt(65534)->value, 65535u);
}

TEST_F(UserGroupTest, aParameterFileIsABadFormat)
{
    WriteBytes(path, {0x2A, 0x3F, 0, 0, 10, 0, 0, 0, 0x15, 0, 0, 0, 0, 0});
    EXPECT_EQ(Open(), nullptr);
    EXPECT_EQ(messages.Entries().at(0).text, path + " has a bad format.");
}

TEST_F(UserGroupTest, aFileCutShortLeavesTheGroupAsItWas)
{
    CCustom saved(&data, 9, 0x0203);
    for (uint32_t i = 0; i < 4; ++i)
        saved.AddEntry(0xA110 + i, i);
    ASSERT_TRUE(Save(saved));
    auto bytes = ReadBytes(path);
    bytes.resize(bytes.size() - 3);  // the last entry's value cut short
    CCustom group(&data, 10, 0x15);
    group.AddEntry(0xA111, 7);
    ArchiveFile file(&messages);
    file.Attach("cut.usr", &group);
    MemorySource source(bytes);
    EXPECT_FALSE(file.LoadFrom(source, true));
    EXPECT_EQ(messages.Entries().size(), 1u);
    EXPECT_EQ(group.Model(), 10);
    EXPECT_EQ(group.Version(), 0x15);
    EXPECT_THAT(Addresses(group), ElementsAre(0xA111));
}

TEST_F(UserGroupTest, openingDropsEntriesWithoutAnItemAndIsNotAChange)
{
    CCustom group(&data, 10, 0x15);
    group.AddEntry(0xA101, 1);
    group.AddEntry(0x9999, 2);
    group.AddEntry(0xA205, 3);
    group.AddEntry(0x9998, 4);
    ASSERT_TRUE(Save(group));
    auto back = Open();
    ASSERT_TRUE(back);
    ASSERT_TRUE(back->AcceptForEditor(messages, "Parameter Editor"));
    EXPECT_THAT(Addresses(*back), ElementsAre(0xA101, 0xA205));
    EXPECT_FALSE(back->IsModified());
    EXPECT_TRUE(messages.Entries().empty());

    data.Clear();  // an editor without loaded data keeps nothing
    ASSERT_TRUE(back->AcceptForEditor(messages, "Parameter Editor"));
    EXPECT_EQ(back->Count(), 0u);
}

TEST_F(UserGroupTest, anotherVersionIsRefusedByTheEditorButMayBeTransferredAfterYes)
{
    CCustom group(&data, 10, 0x14);
    group.AddEntry(0xA101, 1);
    ASSERT_TRUE(Save(group));
    auto back = Open();
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->AcceptForEditor(messages, "Parameter Editor"));
    ASSERT_EQ(messages.Entries().size(), 1u);
    EXPECT_EQ(messages.Entries()[0].kind, MessageKind::Error);
    EXPECT_EQ(messages.Entries()[0].text,
              "User group file's inverter version is different to inverter version fo parameter editor");
    EXPECT_EQ(messages.Entries()[0].caption, "Parameter Editor");

    messages.Clear();
    messages.SetAnswer(true);
    EXPECT_TRUE(back->AcceptForTransfer(messages, "Parameter Editor"));
    messages.SetAnswer(false);
    EXPECT_FALSE(back->AcceptForTransfer(messages, "Parameter Editor"));
    ASSERT_EQ(messages.Entries().size(), 2u);
    EXPECT_EQ(messages.Entries()[0].kind, MessageKind::Question);
    EXPECT_EQ(messages.Entries()[0].text,
              "Version is different between user group file and inverter\n\nDo you want to continue ? ");
}

TEST_F(UserGroupTest, anotherModelIsRefusedEverywhereWithoutAQuestion)
{
    CCustom group(&data, 9, 0x15);
    ASSERT_TRUE(Save(group));
    auto back = Open();
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->AcceptForEditor(messages, "Parameter Editor"));
    EXPECT_FALSE(back->AcceptForTransfer(messages, "Parameter Editor"));
    const std::string text =
        "User group file's inverter model is different to inverter model of parameter editor ";
    ASSERT_EQ(messages.Entries().size(), 2u);
    EXPECT_EQ(messages.Entries()[0].text, text);
    EXPECT_EQ(messages.Entries()[1].text, text);
    EXPECT_EQ(messages.Entries()[1].kind, MessageKind::Error);
}

TEST_F(UserGroupTest, entriesKeepTheirOrderWhenOneIsRemoved)
{
    CCustom group(&data, 10, 0x15);
    EXPECT_TRUE(group.IsUntitled());
    EXPECT_FALSE(group.IsModified());
    group.AddEntry(1, 0);
    CCustom::Entry* middle = group.AddEntry(2, 0);
    group.AddEntry(3, 0);
    EXPECT_TRUE(group.IsModified());
    group.SetModified(false);
    EXPECT_TRUE(group.RemoveEntry(middle));
    EXPECT_TRUE(group.IsModified());
    EXPECT_THAT(Addresses(group), ElementsAre(1, 3));
    CCustom other;
    EXPECT_FALSE(other.RemoveEntry(group.EntryAt(0)));
    EXPECT_EQ(group.FindEntry(3), group.EntryAt(1));
}

TEST(PathTitleTest, isTheTrimmedFileNameWithoutFolderAndExtension)
{
    EXPECT_EQ(PathTitle("/home/op/groups/ pumps .usr"), "pumps");
    EXPECT_EQ(PathTitle("custom_QM-B20X_v1.5_3.usr"), "custom_QM-B20X_v1.5_3");
    EXPECT_EQ(PathTitle("/a.b/noext"), "noext");
}

}  // namespace
}  // namespace vm
