#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SampleData.h"
#include "paramdb/ParameterData.h"

namespace vm {
namespace {

using test::AddGroup;
using test::AddItem;
using test::AddMess;
using test::AddType;
using ::testing::ElementsAre;

// One parameter data object per test with an offline or online station record.
class ItemValueTest : public ::testing::Test {
protected:
    StationRecord record;
    ParameterData data;
    CGroup* group = nullptr;

    void SetUp() override
    {
        record.station = kFirstOfflineSlot;
        record.model = 10;
        record.version = 0x15;
        group = AddGroup(data, "G");
    }
    // Links and binds the data to the record, as a load does.
    void Bind()
    {
        data.SetFileHeader({"", 10, {}, 0x15});
        auto image = test::StoreData(data);
        MemorySource source(image);
        ASSERT_TRUE(data.LoadDataImage(record, source, "test"));
        group = data.GroupAt(0);
    }
    CItem* Item(int i) { return data.ItemAt(0, i); }
    CItem* Numeric(uint32_t m, uint32_t d, uint8_t flags, uint32_t min = 0, uint32_t max = 0xFFFF)
    {
        AddType(data, "T", "Hz", m, d, flags);
        AddItem(group, {1, "P", "T", min, max, 0});
        Bind();
        return Item(0);
    }
};

TEST_F(ItemValueTest, signedTypesUseTheLow16BitsAsATwosComplementNumber)
{
    CItem* item = Numeric(1, 1, CType::kSigned);
    EXPECT_EQ(item->FormatNumber(0xFFFF), "-1");
    EXPECT_EQ(item->FormatNumber(0x8000), "-32768");
    EXPECT_EQ(item->FormatNumber(0x12345), "9029");  // bits above 15 are ignored
    EXPECT_EQ(item->Decode(0xFFFF), -1.0);
    EXPECT_EQ(item->GetEditFormat().allowSign, true);
}

TEST_F(ItemValueTest, unsignedTypesShowTheWholeRawValue)
{
    CItem* item = Numeric(1, 1, 0);
    EXPECT_EQ(item->FormatNumber(0xFFFF), "65535");
    EXPECT_EQ(item->FormatNumber(0x8000), "32768");
    EXPECT_EQ(item->FormatNumber(0xFFFFFFFF), "4294967295");
    EXPECT_EQ(item->GetEditFormat().allowSign, false);
}

TEST_F(ItemValueTest, divisorSelectsDecimalsAndOtherDivisorsTruncate)
{
    const std::pair<uint32_t, const char*> cases[] = {{100, "12.34"}, {1000, "1.234"},   {5, "246"},
                                                      {10, "123.4"},  {10000, "0.1234"}, {1, "1234"}};
    for (const auto& [d, text] : cases) {
        ParameterData local;
        AddType(local, "T", "", 1, d);
        AddItem(AddGroup(local, "G"), {1, "P", "T", 0, 9999, 0});
        local.Link();
        EXPECT_EQ(local.ItemAt(0, 0)->FormatNumber(1234), text) << d;
    }
    CItem* item = Numeric(1, 100, 0);
    EXPECT_EQ(item->Decimals(), 2);
    const EditFormat f = item->GetEditFormat();
    EXPECT_EQ(f.kind, EditFormat::Kind::Decimal);
    EXPECT_EQ(f.decimals, 2);
    EXPECT_EQ(f.maxDigits, 3);
}

TEST_F(ItemValueTest, hexAndBitFieldTypesUseTheMultiplierAsWidth)
{
    AddType(data, "HEX", "", 4, 4, CType::kHex);
    AddType(data, "BITS", "", 5, 1, CType::kBitField);
    AddItem(group, {1, "H", "HEX", 0, 0xFFFF, 0});
    AddItem(group, {2, "B", "BITS", 0, 31, 0});
    Bind();
    EXPECT_EQ(Item(0)->FormatNumber(0x1F), "0x001F");
    EXPECT_EQ(Item(0)->FormatNumber(0xABCDE), "0xABCDE");
    EXPECT_EQ(Item(1)->FormatNumber(0x13), "b10011");
    EXPECT_EQ(Item(1)->FormatNumber(0xFFE0), "b00000");
    EXPECT_EQ(Item(1)->BitCount(), 5u);
    EXPECT_EQ(Item(1)->Decode(0x13), 19.0);
    EXPECT_EQ(Item(1)->Encode(19.9), 19u);

    const EditFormat hex = Item(0)->GetEditFormat();
    EXPECT_EQ(hex.kind, EditFormat::Kind::Hex);
    EXPECT_EQ(hex.prefix, "0x");
    EXPECT_EQ(hex.maxDigits, 4);
    const EditFormat bits = Item(1)->GetEditFormat();
    EXPECT_EQ(bits.kind, EditFormat::Kind::Binary);
    EXPECT_EQ(bits.prefix, "b");
    EXPECT_EQ(bits.maxDigits, 5);
    // Bit fields check the raw pattern against the raw limits.
    EXPECT_TRUE(Item(1)->InRange(31));
    EXPECT_FALSE(Item(1)->InRange(32));
}

TEST_F(ItemValueTest, choiceParametersShowTextsWithinLimitsAndNumbersOutside)
{
    AddMess(data, "ABC", {"A", "B", "C"});
    AddItem(group, {1, "Mode", "MSG", 0, 1, 1, "ABC"});
    AddItem(group, {2, "Wide", "MSG", 0, 0xFFFFFFFF, 2, "ABC"});
    Bind();
    CItem* item = Item(0);
    EXPECT_EQ(item->ValueText(1, true), "B");
    EXPECT_EQ(item->ValueText(2, true), "2");
    EXPECT_EQ(item->ValueText(7, true), "7");
    EXPECT_THAT(item->ChoiceTexts(), ElementsAre("A", "B"));
    EXPECT_EQ(item->DefaultText(), "B");
    EXPECT_EQ(item->MinText(), "0");
    EXPECT_EQ(item->MaxText(), "1");
    EXPECT_EQ(item->UnitText(), "");
    EXPECT_EQ(item->FormatNumber(1), "");
    EXPECT_EQ(item->ChoiceIndex("C"), 2);
    EXPECT_EQ(item->ChoiceIndex("c"), -1);
    EXPECT_TRUE(item->InRange(1));
    EXPECT_FALSE(item->InRange(2));
    EXPECT_EQ(item->GetEditFormat().kind, EditFormat::Kind::Choice);
    // A negative maximum offers every text; an unsigned -1 maximum is read as signed here.
    EXPECT_THAT(Item(1)->ChoiceTexts(), ElementsAre("A", "B", "C"));
    EXPECT_EQ(Item(1)->MaxText(), "-1");
    EXPECT_EQ(Item(1)->DefaultText(), "C");
}

TEST_F(ItemValueTest, rpmDisplayConvertsFreq3ValuesWithThePoleCount)
{
    record.station = 5;
    record.value26 = 1;
    record.value27 = 4;
    AddType(data, "FREQ3", "Hz", 1, 100);
    AddType(data, "FREQ", "Hz", 1, 100);
    AddItem(group, {1, "Cmd Freq", "FREQ3", 0, 6000, 6000});
    AddItem(group, {2, "Other", "FREQ", 0, 6000, 6000});
    Bind();
    CItem* item = Item(0);
    item->valueStatus = 1;
    EXPECT_TRUE(item->IsRpmDisplay());
    EXPECT_EQ(item->ValueText(6000, false), "1800");
    EXPECT_EQ(item->UnitText(), "rpm");
    EXPECT_EQ(item->Decimals(), 0);
    EXPECT_DOUBLE_EQ(item->Decode(6000), 1800.0);
    EXPECT_EQ(item->Encode(1800), 6000u);
    EXPECT_TRUE(item->InRange(1800));
    EXPECT_FALSE(item->InRange(1801));
    EXPECT_EQ(Item(1)->FormatNumber(6000), "60.00");  // only "FREQ3" is shown in rpm

    record.value27 = 0;  // no pole count yet: stay in Hz rather than divide by zero
    EXPECT_FALSE(item->IsRpmDisplay());
    EXPECT_EQ(item->ValueText(6000, false), "60.00");
    EXPECT_EQ(item->UnitText(), "Hz");
    record.value27 = 4;
    record.value26 = 0;
    EXPECT_EQ(item->ValueText(6000, false), "60.00");
    record.value26 = 1;
    record.station = kFirstOfflineSlot;  // offline editors never show rpm
    EXPECT_EQ(item->ValueText(6000, false), "60.00");
    EXPECT_EQ(item->UnitText(), "Hz");
}

TEST_F(ItemValueTest, onlineValuesStayBlankUntilReadWhileOfflineShowsTheDefault)
{
    AddType(data, "T", "V", 1, 10);
    AddItem(group, {1, "Volt", "T", 0, 4800, 2200});
    AddItem(group, {2, "Untyped", "", 0, 10, 5});
    Bind();
    CItem* item = Item(0);
    EXPECT_EQ(item->ValueText(), "220.0");
    EXPECT_EQ(item->UnitText(), "V");
    record.station = 7;
    EXPECT_EQ(item->ValueText(), "");
    EXPECT_EQ(item->ValueText(item->value, true), "220.0");
    item->valueStatus = 2;
    EXPECT_EQ(item->ValueText(), "");
    item->valueStatus = 1;
    EXPECT_EQ(item->ValueText(), "220.0");
    EXPECT_EQ(item->DefaultText(), "220.0");
    EXPECT_EQ(item->MinText(), "0.0");
    EXPECT_EQ(item->MaxText(), "480.0");

    CItem* untyped = Item(1);
    untyped->valueStatus = 1;
    for (const auto& text : {untyped->ValueText(), untyped->DefaultText(), untyped->MinText(),
                             untyped->MaxText(), untyped->UnitText()})
        EXPECT_EQ(text, "");
    EXPECT_EQ(untyped->Decode(5), 0.0);
    EXPECT_EQ(untyped->ChoiceIndex("x"), -1);
}

TEST_F(ItemValueTest, encodeRoundsHalvesUpAndKeepsNegativesAsTwosComplement)
{
    AddType(data, "U", "", 1, 100);
    AddType(data, "S", "", 1, 100, CType::kSigned);
    AddItem(group, {1, "U", "U", 0, 1000, 0});
    AddItem(group, {2, "S", "S", static_cast<uint32_t>(-1000), 1000, 0});
    Bind();
    EXPECT_EQ(Item(0)->Encode(0.125), 13u);
    EXPECT_EQ(static_cast<int32_t>(Item(0)->Encode(-0.125)), -12);
    EXPECT_EQ(static_cast<int32_t>(Item(1)->Encode(-1.5)), -150);
    EXPECT_EQ(Item(1)->FormatNumber(Item(1)->Encode(-1.5)), "-1.50");
    EXPECT_EQ(Item(0)->Encode(1.15), 115u);
    EXPECT_DOUBLE_EQ(Item(0)->Decode(1234), 12.34);
    EXPECT_DOUBLE_EQ(Item(1)->Decode(static_cast<uint32_t>(-150)), -1.5);
    Item(0)->SetFromReal(2.5);
    EXPECT_EQ(Item(0)->value, 250u);
}

TEST_F(ItemValueTest, rangeCheckTakesNegativeEntriesOfUnsignedTypesAsTheirMagnitude)
{
    AddType(data, "U", "", 1, 1);
    AddType(data, "S", "", 1, 10, CType::kSigned);
    AddItem(group, {1, "U", "U", 0, 10, 0});
    AddItem(group, {2, "S", "S", static_cast<uint32_t>(-100), 100, 0});
    Bind();
    EXPECT_TRUE(Item(0)->InRange(-5));
    EXPECT_EQ(Item(0)->AcceptEntry(-5), 5u);
    EXPECT_FALSE(Item(0)->InRange(-11));
    EXPECT_EQ(Item(0)->AcceptEntry(11), std::nullopt);
    // Signed limits are read as signed 32-bit numbers and scaled.
    EXPECT_TRUE(Item(1)->InRange(-10.0));
    EXPECT_FALSE(Item(1)->InRange(-10.1));
    EXPECT_EQ(static_cast<int32_t>(*Item(1)->AcceptEntry(-2.5)), -25);
}

TEST_F(ItemValueTest, corruptScaleValuesNeverProduceInfiniteOrHugeTexts)
{
    AddType(data, "ZERO", "", 0, 0);
    AddType(data, "WIDE", "", 0xFFFFFFFF, 1, CType::kHex);
    AddType(data, "MANY", "", 0xFFFFFFFF, 1, CType::kBitField);
    AddItem(group, {1, "Z", "ZERO", 0, 10, 0});
    AddItem(group, {2, "W", "WIDE", 0, 10, 0});
    AddItem(group, {3, "M", "MANY", 0, 10, 0});
    Bind();
    EXPECT_EQ(Item(0)->FormatNumber(5), "0");
    EXPECT_EQ(Item(0)->Encode(5), 0u);
    EXPECT_EQ(Item(0)->Decode(5), 0.0);
    EXPECT_EQ(Item(1)->FormatNumber(1), "0xFFFFFFFF");
    EXPECT_EQ(Item(2)->FormatNumber(1).size(), 33u);
}

}  // namespace
}  // namespace vm
