#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SampleData.h"
#include "paramdb/ParaArray.h"
#include "paramdb/ParameterData.h"

namespace vm {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

class ParaArrayTest : public ::testing::Test {
protected:
    TempDir dir;
    MessageLog messages;
    std::string path = dir.File("drive.par");

    bool Save(CParaArray& set)
    {
        ArchiveFile file(&messages);
        file.Attach(path, &set);
        return file.Save(true);
    }
    bool Load(CParaArray& set)
    {
        ArchiveFile file(&messages);
        file.Attach(path, &set);
        return file.Load(true);
    }
    std::vector<std::string> Texts() const { return test::Texts(messages); }
};

TEST_F(ParaArrayTest, anEmptySetIsA26ByteFileThatLoadsBackEmpty)
{
    CParaArray set(10, 0x15);
    ASSERT_TRUE(Save(set));
    EXPECT_THAT(ReadBytes(path), ElementsAre(0x2A, 0x3F, 0, 0, 9, 'P', 'a', 'r', 'a', 'A', 'r', 'r', 'a', 'y',
                                             10, 0, 0, 0, 0x15, 0, 0, 0, 0, 0, 0, 0));
    CParaArray back(10, 0x15);
    ASSERT_TRUE(Load(back));
    EXPECT_EQ(back.Count(), 0u);
}

TEST_F(ParaArrayTest, pairsAreStoredAsAllAddressesThenAllValues)
{
    CParaArray set(4, 0x0105);
    set.Append(0x5101, 50);
    set.Append(0x5102, 0xFFFFFFFF);
    set.SetValueAt(0, 51);
    ASSERT_TRUE(Save(set));
    const auto bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 26u + 8 * 2);
    EXPECT_THAT(std::vector<uint8_t>(bytes.begin() + 14, bytes.end()),
                ElementsAre(4, 0, 0, 0, 0x05, 0x01, 0, 0, 2, 0, 0, 0, 0x01, 0x51, 0, 0, 0x02, 0x51, 0, 0, 51,
                            0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF));
    CParaArray back(4, 0x0105);
    ASSERT_TRUE(Load(back));
    ASSERT_EQ(back.Count(), 2u);
    EXPECT_EQ(back.AddressAt(1), 0x5102u);
    EXPECT_EQ(back.ValueAt(0), 51u);
    EXPECT_EQ(back.ValueAt(1), 0xFFFFFFFFu);
}

TEST_F(ParaArrayTest, anotherVersionIsRefusedWithBothVersionTextsAndChangesNothing)
{
    CParaArray saved(10, 0x15);
    saved.Append(1, 2);
    ASSERT_TRUE(Save(saved));
    CParaArray set(10, 0x16);
    EXPECT_FALSE(Load(set));
    EXPECT_EQ(set.Count(), 0u);
    EXPECT_THAT(Texts(),
                ElementsAre("Inverter Version is different\n\nInverter Version : 1.6\nFile Version : 1.5"));
    EXPECT_EQ(messages.Entries()[0].kind, MessageKind::Plain);
}

TEST_F(ParaArrayTest, anotherModelIsReportedBeforeAnyVersionDifference)
{
    CParaArray saved(9, 0x0203);
    ASSERT_TRUE(Save(saved));
    CParaArray set(10, 0x15);
    EXPECT_FALSE(Load(set));
    EXPECT_THAT(Texts(),
                ElementsAre("Inverter Model is different\n\nInverter Model : QM-B20X\nFile Model : QM-F20X"));
}

TEST_F(ParaArrayTest, wrongSignatureOrKindNameIsABadFormat)
{
    CParaArray good(10, 0x15);
    ASSERT_TRUE(Save(good));
    auto bytes = ReadBytes(path);
    auto wrongCase = bytes;
    wrongCase[5] = 'p';  // "paraArray"
    WriteBytes(path, wrongCase);
    CParaArray set(10, 0x15);
    EXPECT_FALSE(Load(set));
    // Only the signature: refused without reading further, so no end-of-file error.
    WriteBytes(path, {0x2A, 0x3F, 0, 1});
    EXPECT_FALSE(Load(set));
    auto userGroup = bytes;
    userGroup[0] = 0x6A;  // the user group signature
    WriteBytes(path, userGroup);
    EXPECT_FALSE(Load(set));
    EXPECT_THAT(Texts(), ElementsAre(path + " has a bad format.", path + " has a bad format.",
                                     path + " has a bad format."));
}

TEST_F(ParaArrayTest, aFileCutInsideTheValuesFailsWithoutAddingPairs)
{
    CParaArray saved(10, 0x15);
    for (uint32_t i = 0; i < 10; ++i)
        saved.Append(i, i * 3);
    ASSERT_TRUE(Save(saved));
    auto bytes = ReadBytes(path);
    bytes.resize(bytes.size() - 3);
    WriteBytes(path, bytes);
    CParaArray set(10, 0x15);
    EXPECT_FALSE(Load(set));
    EXPECT_EQ(set.Count(), 0u);
    EXPECT_THAT(Texts(), ElementsAre("An attempt was made to access " + path + " past its end."));
}

TEST_F(ParaArrayTest, buildingFromDataTakesEveryItemAndApplyingSkipsUnknownAddresses)
{
    ParameterData data;
    test::FillSample(data, 10, 0x15);
    data.Link();
    data.FindItem(0xA101)->valueStatus = 2;  // written whatever its status
    CParaArray set(10, 0x15);
    set.AppendItems(data);
    ASSERT_EQ(set.Count(), static_cast<size_t>(data.TotalItemCount()));
    EXPECT_EQ(set.AddressAt(0), 0xA101u);
    EXPECT_EQ(set.ValueAt(0), 50u);
    EXPECT_EQ(set.AddressAt(5), 0xA201u);

    CParaArray incoming(10, 0x15);
    incoming.Append(0xA102, 777);
    incoming.Append(0xBEEF, 1);
    incoming.Append(0xA205, 9);
    EXPECT_EQ(incoming.ApplyTo(data), 2u);
    EXPECT_EQ(data.FindItem(0xA102)->value, 777u);
    EXPECT_EQ(data.FindItem(0xA102)->valueStatus, 1);
    EXPECT_EQ(data.FindItem(0xA205)->value, 9u);
    EXPECT_EQ(data.FindItem(0xA101)->valueStatus, 2);
}

}  // namespace
}  // namespace vm
