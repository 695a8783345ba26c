#include "paramdb/UserGroup.h"

#include <algorithm>

#include "paramdb/ParameterData.h"

namespace vm {

std::string PathTitle(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return Trimmed(name);
}

CItem* CCustom::Entry::Item() const
{
    return data ? data->FindItem(address) : nullptr;
}

CCustom::Entry* CCustom::AddEntry(uint32_t address, uint32_t value)
{
    auto entry = std::make_unique<Entry>();
    entry->data = data_;
    entry->owner = this;
    entry->address = address;
    entry->value = value;
    entries_.push_back(std::move(entry));
    modified_ = true;
    return entries_.back().get();
}

bool CCustom::RemoveEntry(const Entry* entry)
{
    const auto it =
        std::find_if(entries_.begin(), entries_.end(), [entry](const auto& e) { return e.get() == entry; });
    if (it == entries_.end())
        return false;
    entries_.erase(it);
    modified_ = true;
    return true;
}

CCustom::Entry* CCustom::FindEntry(uint32_t address) const
{
    for (const auto& e : entries_) {
        if (e->address == address)
            return e.get();
    }
    return nullptr;
}

void CCustom::BindEntries()
{
    for (const auto& e : entries_) {
        e->data = data_;
        e->owner = this;
    }
}

void CCustom::SetPath(const std::string& path)
{
    path_ = path;
    name_ = PathTitle(path);
}

bool CCustom::AcceptForEditor(MessageSink& messages, const std::string& caption)
{
    const ParameterData* data = data_;
    if (!data || model_ != data->Model()) {
        messages.Show(MessageKind::Error, kWrongModelText, caption);
        return false;
    }
    if (version_ != data->Version()) {
        messages.Show(MessageKind::Error, kWrongVersionText, caption);
        return false;
    }
    BindEntries();
    for (size_t i = entries_.size(); i-- > 0;) {
        if (!data->IsLoaded() || !entries_[i]->Item())
            entries_.erase(entries_.begin() + static_cast<long>(i));
    }
    modified_ = false;
    return true;
}

bool CCustom::AcceptForTransfer(MessageSink& messages, const std::string& caption) const
{
    if (!data_ || model_ != data_->Model()) {
        messages.Show(MessageKind::Error, kWrongModelText, caption);
        return false;
    }
    if (version_ != data_->Version())
        return messages.AskYesNo(kVersionQuestion, caption);
    return true;
}

void CCustom::Serialize(ObjectArchive& ar)
{
    if (ar.IsStoring()) {
        ar.WriteU32(kSignature);
        ar.WriteI32(model_);
        ar.WriteI32(version_);
        ar.WriteCount(static_cast<uint32_t>(entries_.size()));
        for (const auto& e : entries_) {
            ar.WriteU32(e->address);
            ar.WriteU32(e->value);
        }
        return;
    }
    if (ar.ReadU32() != kSignature)
        ObjectArchive::ThrowBadFormat();
    const int32_t model = ar.ReadI32();
    const int32_t version = ar.ReadI32();
    const uint32_t n = ar.ReadCount();
    // One entry at a time: a corrupted count runs into the end of the file, not out of memory.
    // The group takes the file only once all of it was read, so a failed load leaves it as it was.
    std::vector<std::unique_ptr<Entry>> entries;
    for (uint32_t i = 0; i < n; ++i) {
        auto entry = std::make_unique<Entry>();
        entry->data = data_;
        entry->owner = this;
        entry->address = ar.ReadU32();
        entry->value = ar.ReadU32();
        entries.push_back(std::move(entry));
    }
    model_ = model;
    version_ = version;
    entries_ = std::move(entries);
}

}  // namespace vm
