#pragma once
// A parameter set: (address, raw value) pairs for one model and version, and the ".par" file.

#include <cstdint>
#include <string>
#include <vector>

#include "paramdb/ObjectArchive.h"

namespace vm {

class ParameterData;

class CParaArray : public Serializable {
public:
    static constexpr uint32_t kSignature = 16170;
    static constexpr const char* kKindName = "ParaArray";

    CParaArray(int model, int version) : model_(model), version_(version) {}

    void Append(uint32_t address, uint32_t value);
    size_t Count() const { return addresses_.size(); }
    uint32_t AddressAt(size_t i) const { return addresses_.at(i); }
    uint32_t ValueAt(size_t i) const { return values_.at(i); }
    void SetValueAt(size_t i, uint32_t value) { values_.at(i) = value; }
    int Model() const { return model_; }
    int Version() const { return version_; }

    // Every item of every group in order, with its current value whatever its value status.
    void AppendItems(const ParameterData& data);
    // Gives each item found by address the stored value and value status 1; others are
    // skipped. Returns how many items took a value.
    size_t ApplyTo(ParameterData& data) const;

    // A file of another model or version is refused with the message the user sees
    // (ArchiveAbort); the set is then left unchanged.
    void Serialize(ObjectArchive& ar) override;

private:
    int model_;
    int version_;
    std::vector<uint32_t> addresses_;
    std::vector<uint32_t> values_;
};

}  // namespace vm
