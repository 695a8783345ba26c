#pragma once
// A user group: parameters picked from the data file's groups, each with a value of its own,
// and the ".usr" file it is kept in.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "paramdb/MessageSink.h"
#include "paramdb/ObjectArchive.h"

namespace vm {

class CCustom;
class CItem;
class ParameterData;

class CCustom : public Serializable {
public:
    static constexpr uint32_t kSignature = 16234;
    static constexpr const char* kWrongModelText =
        "User group file's inverter model is different to inverter model of parameter editor ";
    static constexpr const char* kWrongVersionText =
        "User group file's inverter version is different to inverter version fo parameter editor";
    static constexpr const char* kVersionQuestion =
        "Version is different between user group file and inverter\n\nDo you want to continue ? ";

    struct Entry {
        ParameterData* data = nullptr;
        CCustom* owner = nullptr;
        uint32_t address = 0;
        uint32_t value = 0;
        int valueStatus = 0;

        // The parameter this entry stands for, found by address; null when there is none.
        CItem* Item() const;
    };

    CCustom(ParameterData* data = nullptr, int model = 0, int version = 0)
        : data_(data), model_(model), version_(version)
    {}
    CCustom(const CCustom&) = delete;
    CCustom& operator=(const CCustom&) = delete;

    size_t Count() const { return entries_.size(); }
    Entry* EntryAt(size_t i) const { return i < entries_.size() ? entries_[i].get() : nullptr; }
    Entry* AddEntry(uint32_t address, uint32_t value);
    // Removes and deletes the entry; the others keep their order. False if it is not ours.
    bool RemoveEntry(const Entry* entry);
    Entry* FindEntry(uint32_t address) const;
    void BindEntries();

    bool IsModified() const { return modified_; }
    void SetModified(bool modified) { modified_ = modified; }
    bool IsUntitled() const { return untitled_; }
    void SetUntitled(bool untitled) { untitled_ = untitled; }
    // Sets the path and the name derived from it (file name without folder and extension).
    void SetPath(const std::string& path);
    const std::string& Path() const { return path_; }
    const std::string& Name() const { return name_; }
    ParameterData* Data() const { return data_; }
    void SetData(ParameterData* data) { data_ = data; }
    int Model() const { return model_; }
    int Version() const { return version_; }

    // Opening in the editor: the model and version must be the editor's. On acceptance the
    // entries are bound and those without an item are dropped without marking the group
    // modified. A refusal is shown as an error.
    bool AcceptForEditor(MessageSink& messages, const std::string& caption);
    // Using the file for a transfer: another model is refused, another version is asked about.
    bool AcceptForTransfer(MessageSink& messages, const std::string& caption) const;

    void Serialize(ObjectArchive& ar) override;

private:
    bool modified_ = false;
    bool untitled_ = true;
    ParameterData* data_;
    int model_;
    int version_;
    std::string path_;
    std::string name_;
    std::vector<std::unique_ptr<Entry>> entries_;
};

// Name shown for a file: the file name without folder and extension, trimmed.
std::string PathTitle(const std::string& path);

}  // namespace vm
