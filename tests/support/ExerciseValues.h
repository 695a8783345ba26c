#pragma once
// Every value operation on every item of a loaded data file, online under rpm display and
// offline: shared by the robustness test and the data-file fuzzer, each with its own check.

#include "paramdb/ParameterData.h"

namespace vm::test {

// check(ok, what) is called for each property that must hold; it must not stop the walk.
template <typename Check>
void ExerciseValues(ParameterData& data, StationRecord& record, Check&& check)
{
    for (int mode : {ParameterData::kRpmMode, ParameterData::kFreqMode}) {
        record.station = mode == ParameterData::kRpmMode ? 5 : kFirstOfflineSlot;
        record.value26 = 1;
        record.value27 = 4;
        data.SetMode(mode, mode == ParameterData::kRpmMode ? 100 : 1);
        for (const auto& group : data.Groups()) {
            for (const auto& item : group->items) {
                item->valueStatus = 1;
                check(item->modeName == 0 || item->displayName.find("@@@@") == std::string::npos ||
                          item->name.find("@@@@") == std::string::npos,
                      "mode name substituted");
                for (uint32_t raw : {item->value, item->minimum, item->maximum, 0xFFFFFFFFu, 0x8000u, 0u}) {
                    (void)item->ValueText(raw, true);
                    (void)item->FormatNumber(raw);
                    const double d = item->Decode(raw);
                    (void)item->Encode(d);
                    (void)item->InRange(d);
                    (void)item->AcceptEntry(d);
                    (void)item->AcceptEntry(-d);
                    item->SetFromReal(d);
                }
                (void)item->ValueText();
                (void)item->DefaultText();
                (void)item->MinText();
                (void)item->MaxText();
                (void)item->UnitText();
                (void)item->Decimals();
                (void)item->BitCount();
                const auto texts = item->ChoiceTexts();
                for (const auto& text : texts)
                    check(item->ChoiceIndex(text) >= 0, "choice text found again");
                const EditFormat format = item->GetEditFormat();
                check(format.maxDigits >= 0 && format.maxDigits <= 32, "edit format digits");
            }
        }
    }
}

}  // namespace vm::test
