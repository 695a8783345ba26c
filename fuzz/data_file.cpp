// The parameter data file loaded from memory. A file that loads is linked consistently, takes
// every value operation on every item in both display modes, and saves and reloads equal; a
// file that fails leaves the data empty with one status.

#include "ArchiveCheck.h"

#include "catalogue/Models.h"
#include "paramdb/ParameterData.h"
#include "tests/support/ExerciseValues.h"

using namespace vm;

namespace {

bool SameItem(const CItem& a, const CItem& b)
{
    return a.address == b.address && a.modeName == b.modeName && a.writable == b.writable &&
           a.runWritable == b.runWritable && a.minimum == b.minimum && a.maximum == b.maximum &&
           a.defaultValue == b.defaultValue && a.name == b.name && a.typeName == b.typeName &&
           a.messName == b.messName && a.unused == b.unused && a.value == b.value && a.kind == b.kind &&
           a.HasValueType() == b.HasValueType();
}

bool SameData(const ParameterData& a, const ParameterData& b)
{
    if (a.FileHeader().description != b.FileHeader().description ||
        a.FileHeader().model != b.FileHeader().model || a.FileHeader().version != b.FileHeader().version ||
        a.Types().Count() != b.Types().Count() || a.ChoiceLists().Count() != b.ChoiceLists().Count() ||
        a.GroupCount() != b.GroupCount())
        return false;
    for (size_t i = 0; i < a.Types().Count(); ++i) {
        const CType& x = *a.Types().At(i);
        const CType& y = *b.Types().At(i);
        if (x.name != y.name || x.unused != y.unused || x.unit != y.unit || x.multiplier != y.multiplier ||
            x.divisor != y.divisor || x.flags != y.flags)
            return false;
    }
    for (size_t i = 0; i < a.ChoiceLists().Count(); ++i) {
        if (a.ChoiceLists().At(i)->name != b.ChoiceLists().At(i)->name ||
            a.ChoiceLists().At(i)->texts != b.ChoiceLists().At(i)->texts)
            return false;
    }
    for (int g = 0; g < a.GroupCount(); ++g) {
        if (a.GroupName(g) != b.GroupName(g) || a.ItemCount(g) != b.ItemCount(g))
            return false;
        for (int i = 0; i < a.ItemCount(g); ++i)
            if (!SameItem(*a.ItemAt(g, i), *b.ItemAt(g, i)))
                return false;
    }
    return true;
}

void CheckLinks(const ParameterData& data)
{
    int total = 0;
    for (const auto& group : data.Groups()) {
        FUZZ_CHECK(group->Data() == &data && group->List() == &data.Groups());
        for (const auto& item : group->items) {
            ++total;
            FUZZ_CHECK(item->Group() == group.get() && item->Data() == &data);
            FUZZ_CHECK(!item->IsChoice() || item->Choices());
            FUZZ_CHECK(!(item->Type() && item->Choices()));
            FUZZ_CHECK(data.FindItem(item->address) != nullptr);
        }
    }
    FUZZ_CHECK(total == data.TotalItemCount());
}

// Loads with the record's model and version; checks what every load must leave behind.
bool Load(ParameterData& data, const StationRecord& record, std::span<const uint8_t> bytes)
{
    MemorySource source(bytes);
    const bool loaded = data.LoadDataImage(record, source, "fuzzed.dat");
    FUZZ_CHECK(loaded == data.IsLoaded());
    if (!loaded) {
        FUZZ_CHECK(data.StatusCode() >= ParameterData::kModelNotSupported &&
                   data.StatusCode() <= ParameterData::kOpenFailed);
        FUZZ_CHECK(data.StatusCode() != ParameterData::kFileNotFound);
        FUZZ_CHECK(data.GroupCount() == 0 && data.Types().Empty() && data.ChoiceLists().Empty());
        FUZZ_CHECK(data.Record() == nullptr);
        return false;
    }
    FUZZ_CHECK(data.StatusCode() == ParameterData::kNoError && data.Record() == &record);
    FUZZ_CHECK(data.FileHeader().model == record.model &&
               data.FileHeader().version == static_cast<uint32_t>(record.version));
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    // First as a drive the file may not be for, then as the drive its header names.
    StationRecord record;
    record.station = 5;
    record.model = 10;
    record.version = 0x15;
    ParameterData data;
    bool loaded = Load(data, record, {bytes, size});
    if (!loaded && (data.StatusCode() == ParameterData::kWrongModel ||
                    data.StatusCode() == ParameterData::kWrongVersion)) {
        record.model = data.FileHeader().model;
        record.version = static_cast<int32_t>(data.FileHeader().version);
        if (IsSupportedModel(record.model))
            loaded = Load(data, record, {bytes, size});
    }
    if (!loaded)
        return 0;
    CheckLinks(data);

    // Saved and reloaded: the same data, and the same image when saved again.
    const std::vector<uint8_t> image = fuzz::SaveImage(data);
    ParameterData back;
    FUZZ_CHECK(Load(back, record, image));
    CheckLinks(back);
    FUZZ_CHECK(SameData(data, back));
    FUZZ_CHECK(fuzz::SaveImage(back) == image);

    test::ExerciseValues(data, record, [](bool ok, const char* what) { FUZZ_CHECK(ok && what); });
    return 0;
}
