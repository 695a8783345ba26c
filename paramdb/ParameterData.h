#pragma once
// One loaded parameter data file: value types, choice lists and groups of parameters, and the
// value operations every list, dialog, report and comparison formats values with.
//
// File fields are plain members; the links between objects (owning list, group, value type,
// parameter data) are set by loading and read through accessors.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/StationRecord.h"
#include "paramdb/ObjectArchive.h"

namespace vm {

// Decimal places of a power-of-ten divisor (10 → 1 … 10000 → 4); 0 for any other.
int DecimalsOfScale(int scale);

class CGroup;
class CTypeList;
class CMessList;
class CItemList;
class CGroupList;
class ParameterData;

// Leading and trailing white space removed.
std::string Trimmed(std::string_view text);

// An ordered list that owns its elements; the data file gives it as a 32-bit count and records.
template <typename T, typename Self>
class OwnedList : public Serializable {
public:
    size_t Count() const { return items_.size(); }
    bool Empty() const { return items_.empty(); }
    T* At(size_t i) const { return i < items_.size() ? items_[i].get() : nullptr; }
    T* Add(std::unique_ptr<T> item)
    {
        item->list_ = static_cast<Self*>(this);
        items_.push_back(std::move(item));
        return items_.back().get();
    }
    void Clear() { items_.clear(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    // The first element named exactly so, or null.
    T* FindByName(std::string_view name) const
    {
        for (const auto& item : items_) {
            if (item->name == name)
                return item.get();
        }
        return nullptr;
    }

    void Serialize(ObjectArchive& ar) override
    {
        if (ar.IsStoring()) {
            ar.WriteI32(static_cast<int32_t>(items_.size()));
            for (const auto& item : items_)
                item->Serialize(ar);
            return;
        }
        // Element by element, so a corrupted count fails at the end of the file.
        const int32_t n = ar.ReadI32();
        for (int32_t i = 0; i < n; ++i) {
            auto item = std::make_unique<T>();
            item->Serialize(ar);
            Add(std::move(item));
        }
    }

private:
    std::vector<std::unique_ptr<T>> items_;
};

// A value type: scale, unit and display flags.
class CType : public Serializable {
public:
    static constexpr uint8_t kSigned = 0x01;
    static constexpr uint8_t kHex = 0x02;
    static constexpr uint8_t kBitField = 0x04;

    std::string name;
    std::array<std::string, 2> unused;  // read and kept, never shown
    std::string unit;
    uint32_t multiplier = 1;  // also the digit count of a hex type and the bit count of a bit field
    uint32_t divisor = 1;
    double realMultiplier = 1.0;
    double realDivisor = 1.0;
    uint8_t flags = 0;

    bool IsSigned() const { return flags & kSigned; }
    bool IsHex() const { return flags & kHex; }
    bool IsBitField() const { return flags & kBitField; }
    void SetMultiplier(uint32_t m);
    void SetDivisor(uint32_t d);
    CTypeList* List() const { return list_; }
    void Serialize(ObjectArchive& ar) override;

private:
    template <typename, typename>
    friend class OwnedList;
    CTypeList* list_ = nullptr;
};

// A choice list: text i names raw value i.
class CMess : public Serializable {
public:
    std::string name;
    std::vector<std::string> texts;

    CMessList* List() const { return list_; }
    void Serialize(ObjectArchive& ar) override;

private:
    template <typename, typename>
    friend class OwnedList;
    CMessList* list_ = nullptr;
};

// How a numeric entry field is set up for an item.
struct EditFormat {
    enum class Kind { Choice, Hex, Binary, Decimal };
    Kind kind = Kind::Decimal;
    std::string_view prefix;  // "0x", "b" or empty
    int maxDigits = 5;        // hex and binary: digits; decimal: integer digits
    int decimals = 0;
    bool allowSign = false;
};

// One parameter.
class CItem : public Serializable {
public:
    static constexpr uint32_t kChoice = 0x08;  // kind flag: the value type is a CMess

    uint16_t address = 0;
    int32_t modeName = 0;  // non-zero: the name holds "@@@@" or "$$$$"
    int32_t writable = 0;
    int32_t runWritable = 0;  // may be written while the inverter runs
    uint32_t minimum = 0;
    uint32_t maximum = 0;
    uint32_t defaultValue = 0;
    std::string name;
    std::string displayName;
    std::string typeName;
    std::string messName;
    std::array<std::string, 3> unused;
    int valueStatus = 0;  // 0 not read, 1 read or written, 2 last transfer failed
    uint32_t value = 0;
    uint32_t kind = 0;

    CItemList* List() const { return list_; }
    CGroup* Group() const { return group_; }
    ParameterData* Data() const;
    bool IsChoice() const { return kind & kChoice; }
    // The CType, or null for a choice parameter or an item without a value type.
    const CType* Type() const { return IsChoice() ? nullptr : type_; }
    // The CMess of a choice parameter, else null.
    const CMess* Choices() const { return IsChoice() ? mess_ : nullptr; }
    bool HasValueType() const { return IsChoice() ? mess_ != nullptr : type_ != nullptr; }
    // The code number shown in lists: the low byte of the address.
    int Code() const { return address & 0xFF; }

    // Value operations. Decode, Encode, InRange and SetFromReal work in entry-field units:
    // rpm under RPM display, else the scaled value.
    bool IsOnline() const;
    bool IsRpmDisplay() const;
    int Decimals() const;
    std::string FormatNumber(uint32_t raw) const;
    std::string ValueText(uint32_t raw, bool force) const;
    std::string ValueText() const { return ValueText(value, false); }
    std::string DefaultText() const;
    std::string MinText() const;
    std::string MaxText() const;
    std::string UnitText() const;
    double Decode(uint32_t raw) const;
    uint32_t Encode(double entry) const;
    void SetFromReal(double entry) { value = Encode(entry); }
    std::vector<std::string> ChoiceTexts() const;
    int ChoiceIndex(std::string_view text) const;
    uint32_t BitCount() const;
    bool InRange(double entry) const;
    // The raw value to write for an entry, or nothing when it fails the range check. A negative
    // entry for an unsigned number is taken as its magnitude, as the range check does.
    std::optional<uint32_t> AcceptEntry(double entry) const;
    EditFormat GetEditFormat() const;

    void Serialize(ObjectArchive& ar) override;

private:
    template <typename, typename>
    friend class OwnedList;
    friend class ParameterData;
    double EntryToValue(double entry) const;
    bool IsUnsignedNumber() const;
    int Poles() const;

    CItemList* list_ = nullptr;
    CGroup* group_ = nullptr;
    const CType* type_ = nullptr;
    const CMess* mess_ = nullptr;
};

class CTypeList final : public OwnedList<CType, CTypeList> {};
class CMessList final : public OwnedList<CMess, CMessList> {};
class CItemList final : public OwnedList<CItem, CItemList> {};

class CGroup : public Serializable {
public:
    std::string name;
    CItemList items;

    CGroupList* List() const { return list_; }
    ParameterData* Data() const { return data_; }
    void Serialize(ObjectArchive& ar) override;

private:
    template <typename, typename>
    friend class OwnedList;
    friend class ParameterData;
    CGroupList* list_ = nullptr;
    ParameterData* data_ = nullptr;
};

class CGroupList final : public OwnedList<CGroup, CGroupList> {};

class ParameterData : public Serializable {
public:
    enum Status : int {
        kNoError = 0,
        kModelNotSupported = 1,
        kFileNotFound = 2,
        kWrongModel = 3,
        kWrongVersion = 4,
        kWrongFormat = 5,
        kOpenFailed = 6,
    };
    static constexpr const char* kSignature = "KXEC - Varimon Data File Editor";
    static constexpr uint16_t kFormatVersion = 0x0100;
    static constexpr int kFreqMode = 1;
    static constexpr int kRpmMode = 0;

    ParameterData() = default;
    ParameterData(const ParameterData&) = delete;
    ParameterData& operator=(const ParameterData&) = delete;

    // <folder>/<model name>/<model name>_<VVVV>.dat; empty for a model without data files.
    static std::string DataFilePath(const std::string& folder, int model, int version);

    // Loads the file for the record's model and version; the record must outlive the data.
    bool LoadDataFile(const StationRecord& record, const std::string& folder);
    // The same checks over bytes already in memory.
    bool LoadDataImage(const StationRecord& record, ByteSource& source, const std::string& name);

    int StatusCode() const { return status_; }
    std::string StatusText() const { return StatusText(status_); }
    static std::string StatusText(int code);
    bool IsLoaded() const { return loaded_; }

    void SetMode(int mode, int time1);
    int Mode() const { return mode_; }
    int Time1() const { return time1_; }

    CItem* FindItem(uint32_t address) const;
    int GroupCount() const { return static_cast<int>(groups_.Count()); }
    CGroup* GroupAt(int index) const;
    CItem* ItemAt(int group, int item) const;
    int ItemCount(int group) const;
    int TotalItemCount() const;
    std::string GroupName(int index) const;
    CGroup* FindGroup(std::string_view name) const;

    void Clear();

    const StationRecord* Record() const { return record_; }
    int Model() const { return model_; }
    int Version() const { return version_; }
    const std::string& Description() const { return description_; }
    CTypeList& Types() { return types_; }
    CMessList& ChoiceLists() { return messes_; }
    CGroupList& Groups() { return groups_; }
    const CTypeList& Types() const { return types_; }
    const CMessList& ChoiceLists() const { return messes_; }
    const CGroupList& Groups() const { return groups_; }

    // The header as read from (or to be written to) a file; the data-file compiler builds
    // files through these and Serialize.
    struct Header {
        std::string description;
        uint16_t model = 0;
        std::array<uint16_t, 4> reserved{};
        uint32_t version = 0;
    };
    const Header& FileHeader() const { return header_; }
    void SetFileHeader(Header header) { header_ = std::move(header); }

    // Loading reads the whole file (signature and format version checked) and links it;
    // storing writes the header and the three lists.
    void Serialize(ObjectArchive& ar) override;
    // Sets the back references and resolves each item's value type by name.
    void Link();

private:
    bool Finish(const StationRecord& record, bool read, const ArchiveFile& file);

    const StationRecord* record_ = nullptr;
    bool loaded_ = false;
    int status_ = kNoError;
    std::string description_;
    int model_ = 0;
    int version_ = 0;
    int mode_ = kFreqMode;
    int time1_ = 10;
    Header header_;
    CTypeList types_;
    CMessList messes_;
    CGroupList groups_;
};

}  // namespace vm
