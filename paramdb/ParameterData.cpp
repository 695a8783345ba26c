#include "paramdb/ParameterData.h"

#include <sys/stat.h>

#include <cstdio>

#include "catalogue/Models.h"

namespace vm {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string ReplaceAll(const std::string& text, std::string_view from, std::string_view to)
{
    std::string out;
    size_t at = 0;
    for (;;) {
        const size_t hit = text.find(from, at);
        if (hit == std::string::npos)
            break;
        out.append(text, at, hit - at);
        out.append(to);
        at = hit + from.size();
    }
    out.append(text, at, std::string::npos);
    return out;
}

}  // namespace

std::string Trimmed(std::string_view text)
{
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsBlank(text[first]))
        ++first;
    while (last > first && IsBlank(text[last - 1]))
        --last;
    return std::string(text.substr(first, last - first));
}

void CType::SetMultiplier(uint32_t m)
{
    multiplier = m;
    realMultiplier = m;
}

void CType::SetDivisor(uint32_t d)
{
    divisor = d;
    realDivisor = d;
}

void CType::Serialize(ObjectArchive& ar)
{
    if (ar.IsStoring()) {
        ar.WriteString(name);
        ar.WriteString(unused[0]);
        ar.WriteString(unused[1]);
        ar.WriteString(unit);
        ar.WriteU32(multiplier);
        ar.WriteU32(divisor);
        ar.WriteU8(flags);
        return;
    }
    name = Trimmed(ar.ReadString());
    unused[0] = ar.ReadString();
    unused[1] = ar.ReadString();
    unit = Trimmed(ar.ReadString());
    SetMultiplier(ar.ReadU32());
    SetDivisor(ar.ReadU32());
    flags = ar.ReadU8();
}

void CMess::Serialize(ObjectArchive& ar)
{
    if (ar.IsStoring()) {
        ar.WriteString(name);
        ar.WriteI32(static_cast<int32_t>(texts.size()));
        for (const auto& t : texts)
            ar.WriteString(t);
        return;
    }
    name = Trimmed(ar.ReadString());
    texts.clear();
    const int32_t n = ar.ReadI32();
    for (int32_t i = 0; i < n; ++i)
        texts.push_back(Trimmed(ar.ReadString()));
}

void CItem::Serialize(ObjectArchive& ar)
{
    if (ar.IsStoring()) {
        ar.WriteU16(address);
        ar.WriteI32(modeName);
        ar.WriteI32(writable);
        ar.WriteI32(runWritable);
        ar.WriteU32(minimum);
        ar.WriteU32(maximum);
        ar.WriteU32(defaultValue);
        ar.WriteString(name);
        ar.WriteString(typeName);
        ar.WriteString(messName);
        for (const auto& s : unused)
            ar.WriteString(s);
        return;
    }
    address = ar.ReadU16();
    modeName = ar.ReadI32();
    writable = ar.ReadI32();
    runWritable = ar.ReadI32();
    minimum = ar.ReadU32();
    maximum = ar.ReadU32();
    defaultValue = ar.ReadU32();
    // A default above the maximum starts at the maximum on these addresses only.
    value = (address & 0x08) && defaultValue > maximum ? maximum : defaultValue;
    valueStatus = 0;
    name = Trimmed(ar.ReadString());
    displayName = name;
    typeName = Trimmed(ar.ReadString());
    messName = Trimmed(ar.ReadString());
    for (auto& s : unused)
        s = ar.ReadString();
}

ParameterData* CItem::Data() const
{
    return group_ ? group_->Data() : nullptr;
}

void CGroup::Serialize(ObjectArchive& ar)
{
    if (ar.IsStoring())
        ar.WriteString(name);
    else
        name = Trimmed(ar.ReadString());
    items.Serialize(ar);
}

std::string ParameterData::DataFilePath(const std::string& folder, int model, int version)
{
    if (!IsSupportedModel(model))
        return {};
    char file[32];
    std::snprintf(file, sizeof file, "_%04X.dat", static_cast<unsigned>(version));
    const std::string name = ModelName(model);
    std::string path = folder;
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path + name + "/" + name + file;
}

bool ParameterData::LoadDataFile(const StationRecord& record, const std::string& folder)
{
    Clear();
    record_ = &record;
    model_ = record.model;
    version_ = record.version;
    const std::string path = DataFilePath(folder, model_, version_);
    if (path.empty()) {
        status_ = kModelNotSupported;
        return false;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        status_ = kFileNotFound;
        return false;
    }
    ArchiveFile file;
    file.Attach(path, this);
    const bool read = file.Load(false);
    return Finish(record, read, file);
}

bool ParameterData::LoadDataImage(const StationRecord& record, ByteSource& source, const std::string& name)
{
    Clear();
    record_ = &record;
    model_ = record.model;
    version_ = record.version;
    if (!IsSupportedModel(model_)) {
        status_ = kModelNotSupported;
        return false;
    }
    ArchiveFile file;
    file.Attach(name, this);
    const bool read = file.LoadFrom(source, false);
    return Finish(record, read, file);
}

bool ParameterData::Finish(const StationRecord& record, bool read, const ArchiveFile& file)
{
    int status = kNoError;
    if (!read) {
        // A short or malformed file is not a format we read; anything else failed to open.
        status = file.Failure() == ArchiveFailure::Archive ? kWrongFormat : kOpenFailed;
    } else if (header_.model != static_cast<uint32_t>(model_)) {
        status = kWrongModel;
    } else if (header_.version != static_cast<uint32_t>(version_)) {
        status = kWrongVersion;
    }
    if (status != kNoError) {
        Clear();
        status_ = status;
        return false;
    }
    record_ = &record;
    description_ = header_.description;
    loaded_ = true;
    status_ = kNoError;
    return true;
}

std::string ParameterData::StatusText(int code)
{
    switch (code) {
    case kNoError:
        return "No Error";
    case kModelNotSupported:
        return "Doesn't Support this Model";
    case kFileNotFound:
        return "Can't Find Data File";
    case kWrongModel:
        return "Error of Model No. in Data File";
    case kWrongVersion:
        return "Doesn't Support this Version";
    case kWrongFormat:
        return "Doesn't Support this Data File Format";
    default:
        return "Fail to Open this Data File";
    }
}

void ParameterData::Serialize(ObjectArchive& ar)
{
    if (ar.IsStoring()) {
        ar.WriteString(kSignature);
        ar.WriteU16(kFormatVersion);
        ar.WriteString(header_.description);
        ar.WriteU16(header_.model);
        for (uint16_t r : header_.reserved)
            ar.WriteU16(r);
        ar.WriteU32(header_.version);
        types_.Serialize(ar);
        messes_.Serialize(ar);
        groups_.Serialize(ar);
        return;
    }
    types_.Clear();
    messes_.Clear();
    groups_.Clear();
    if (ar.ReadString() != kSignature)
        ObjectArchive::ThrowBadFormat();
    if (ar.ReadU16() != kFormatVersion)
        ObjectArchive::ThrowBadFormat();
    header_.description = ar.ReadString();
    header_.model = ar.ReadU16();
    for (auto& r : header_.reserved)
        r = ar.ReadU16();
    header_.version = ar.ReadU32();
    types_.Serialize(ar);
    messes_.Serialize(ar);
    groups_.Serialize(ar);
    Link();
}

void ParameterData::Link()
{
    for (const auto& group : groups_) {
        group->data_ = this;
        for (const auto& item : group->items) {
            item->group_ = group.get();
            item->kind &= ~CItem::kChoice;
            item->mess_ = nullptr;
            item->type_ = item->typeName.empty() ? nullptr : types_.FindByName(item->typeName);
            if (item->typeName == "MSG" && !item->messName.empty()) {
                if (const CMess* mess = messes_.FindByName(item->messName)) {
                    item->kind = CItem::kChoice;
                    item->mess_ = mess;
                }
            }
        }
    }
}

void ParameterData::SetMode(int mode, int time1)
{
    mode_ = mode;
    time1_ = time1;
    const char* word = mode == kRpmMode ? "Rpm " : "Freq";
    for (const auto& group : groups_) {
        for (const auto& item : group->items) {
            if (item->modeName == 0)
                continue;
            item->displayName = item->name.find("@@@@") != std::string::npos
                                    ? ReplaceAll(item->name, "@@@@", word)
                                    : ReplaceAll(item->name, "$$$$", word);
        }
    }
    if (CType* t = types_.FindByName("TIME1"))
        t->SetDivisor(static_cast<uint32_t>(time1));
}

CItem* ParameterData::FindItem(uint32_t address) const
{
    const uint16_t wanted = static_cast<uint16_t>(address);
    for (const auto& group : groups_) {
        for (const auto& item : group->items) {
            if (item->address == wanted)
                return item.get();
        }
    }
    return nullptr;
}

CGroup* ParameterData::GroupAt(int index) const
{
    return index < 0 ? nullptr : groups_.At(static_cast<size_t>(index));
}

CItem* ParameterData::ItemAt(int group, int item) const
{
    const CGroup* g = GroupAt(group);
    return g && item >= 0 ? g->items.At(static_cast<size_t>(item)) : nullptr;
}

int ParameterData::ItemCount(int group) const
{
    const CGroup* g = GroupAt(group);
    return g ? static_cast<int>(g->items.Count()) : 0;
}

int ParameterData::TotalItemCount() const
{
    int total = 0;
    for (const auto& group : groups_)
        total += static_cast<int>(group->items.Count());
    return total;
}

std::string ParameterData::GroupName(int index) const
{
    const CGroup* g = GroupAt(index);
    return g ? g->name : std::string();
}

CGroup* ParameterData::FindGroup(std::string_view name) const
{
    return groups_.FindByName(name);
}

void ParameterData::Clear()
{
    types_.Clear();
    messes_.Clear();
    groups_.Clear();
    loaded_ = false;
    record_ = nullptr;
}

}  // namespace vm
