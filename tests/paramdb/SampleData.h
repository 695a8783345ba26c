#pragma once
// Builds parameter data in memory for the tests, and its data-file image.

#include <initializer_list>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "paramdb/ParameterData.h"

namespace vm::test {

inline CType* AddType(ParameterData& data, std::string name, std::string unit, uint32_t m, uint32_t d,
                      uint8_t flags = 0)
{
    auto t = std::make_unique<CType>();
    t->name = std::move(name);
    t->unit = std::move(unit);
    t->SetMultiplier(m);
    t->SetDivisor(d);
    t->flags = flags;
    return data.Types().Add(std::move(t));
}

inline CMess* AddMess(ParameterData& data, std::string name, std::vector<std::string> texts)
{
    auto m = std::make_unique<CMess>();
    m->name = std::move(name);
    m->texts = std::move(texts);
    return data.ChoiceLists().Add(std::move(m));
}

inline CGroup* AddGroup(ParameterData& data, std::string name)
{
    auto g = std::make_unique<CGroup>();
    g->name = std::move(name);
    return data.Groups().Add(std::move(g));
}

struct ItemSpec {
    uint16_t address;
    std::string name;
    std::string type;
    uint32_t min = 0;
    uint32_t max = 0;
    uint32_t def = 0;
    std::string mess = {};
    int32_t modeName = 0;
};

inline CItem* AddItem(CGroup* group, const ItemSpec& s)
{
    auto i = std::make_unique<CItem>();
    i->address = s.address;
    i->name = s.name;
    i->displayName = s.name;
    i->typeName = s.type;
    i->messName = s.mess;
    i->minimum = s.min;
    i->maximum = s.max;
    i->defaultValue = s.def;
    i->value = s.def;
    i->modeName = s.modeName;
    i->writable = 1;
    return group->items.Add(std::move(i));
}

inline std::vector<uint8_t> StoreData(ParameterData& data)
{
    return Store([&](ObjectArchive& ar) { data.Serialize(ar); });
}

// A small drive: every kind of value type, choices, mode-dependent names, an empty group.
inline void FillSample(ParameterData& data, uint16_t model, uint32_t version)
{
    data.SetFileHeader({"sample drive", model, {1, 2, 3, 4}, version});
    AddType(data, "FREQ3", "Hz", 1, 100);
    AddType(data, "TIME1", "sec", 1, 10);
    AddType(data, "VOLT", "V", 1, 10);
    AddType(data, "SIGN", "%", 1, 10, CType::kSigned);
    AddType(data, "HEX", "", 4, 4, CType::kHex);
    AddType(data, "BITS", "", 5, 1, CType::kBitField);
    AddType(data, "PLAIN", "", 1, 1);
    AddMess(data, "RUNSRC", {"Keypad", "Terminal", "RS-485"});
    AddMess(data, "YESNO", {"No", "Yes"});
    CGroup* drive = AddGroup(data, "Drive Group");
    AddItem(drive, {0xA101, "Acc Time", "TIME1", 0, 60000, 50});
    AddItem(drive, {0xA102, "Dec Time", "TIME1", 0, 60000, 100});
    AddItem(drive, {0xA103, "Run Source", "MSG", 0, 2, 1, "RUNSRC"});
    AddItem(drive, {0xA104, "Max @@@@", "FREQ3", 4000, 40000, 6000, {}, 1});
    AddItem(drive, {0xA105, "Bias", "SIGN", 0xFFFFFC18, 1000, 0});
    CGroup* io = AddGroup(data, "I/O Group");
    AddItem(io, {0xA201, "Terminal Status", "BITS", 0, 31, 0});
    AddItem(io, {0xA202, "Option Code", "HEX", 0, 0xFFFF, 0x1F});
    AddItem(io, {0xA203, "Motor Voltage", "VOLT", 0, 4800, 2200});
    AddItem(io, {0xA204, "Auto Restart", "MSG", 0, 1, 0, "YESNO"});
    AddItem(io, {0xA205, "Counter", "PLAIN", 0, 65535, 0});
    AddItem(io, {0xA206, "Unscaled", "", 0, 10, 0});
    AddGroup(data, "Reserved Group");
}

inline std::vector<uint8_t> SampleImage(uint16_t model = 10, uint32_t version = 0x15)
{
    ParameterData data;
    FillSample(data, model, version);
    return StoreData(data);
}

}  // namespace vm::test
