#include "paramdb/ParaArray.h"

#include "catalogue/Models.h"
#include "paramdb/ParameterData.h"

namespace vm {

void CParaArray::Append(uint32_t address, uint32_t value)
{
    addresses_.push_back(address);
    values_.push_back(value);
}

void CParaArray::AppendItems(const ParameterData& data)
{
    for (const auto& group : data.Groups()) {
        for (const auto& item : group->items)
            Append(item->address, item->value);
    }
}

size_t CParaArray::ApplyTo(ParameterData& data) const
{
    size_t applied = 0;
    for (size_t i = 0; i < addresses_.size(); ++i) {
        if (CItem* item = data.FindItem(addresses_[i])) {
            item->value = values_[i];
            item->valueStatus = 1;
            ++applied;
        }
    }
    return applied;
}

void CParaArray::Serialize(ObjectArchive& ar)
{
    if (ar.IsStoring()) {
        ar.WriteU32(kSignature);
        ar.WriteString(kKindName);
        ar.WriteI32(model_);
        ar.WriteI32(version_);
        ar.WriteU32(static_cast<uint32_t>(addresses_.size()));
        for (uint32_t a : addresses_)
            ar.WriteU32(a);
        for (uint32_t v : values_)
            ar.WriteU32(v);
        return;
    }
    if (ar.ReadU32() != kSignature)
        ObjectArchive::ThrowBadFormat();
    if (ar.ReadString() != kKindName)
        ObjectArchive::ThrowBadFormat();
    const int32_t model = ar.ReadI32();
    const int32_t version = ar.ReadI32();
    if (model != model_) {
        throw ArchiveAbort(std::string("Inverter Model is different\n\nInverter Model : ") +
                           ModelName(model_) + "\nFile Model : " + ModelName(model));
    }
    if (version != version_) {
        throw ArchiveAbort("Inverter Version is different\n\nInverter Version : " +
                           VersionText(model_, version_) + "\nFile Version : " + VersionText(model, version));
    }
    // Read into scratch arrays first, so a file cut short leaves the set as it was.
    const int32_t n = ar.ReadI32();
    std::vector<uint32_t> addresses;
    std::vector<uint32_t> values;
    for (int32_t i = 0; i < n; ++i)
        addresses.push_back(ar.ReadU32());
    for (int32_t i = 0; i < n; ++i)
        values.push_back(ar.ReadU32());
    addresses_.insert(addresses_.end(), addresses.begin(), addresses.end());
    values_.insert(values_.end(), values.begin(), values.end());
}

}  // namespace vm
