#pragma once
// What the parameter editor frame does apart from its widgets: its title and status texts, the
// open user groups (new, open, save, close), the parameter file (.par) and the text listing.
// The frame and its views follow through ParaFrameObserver; file names come from a FileChooser.

#include "editor/EditorMessages.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace vm {

class CCustom;
class FileChooser;
class ParameterData;
class ToolHost;

class ParaFrameObserver {
public:
    virtual ~ParaFrameObserver() = default;
    virtual void UserGroupAdded(CCustom& group, bool select) = 0;
    virtual void UserGroupRenamed(CCustom& group) = 0;
    // Parameters were added to the group (its list, when shown, shows them).
    virtual void UserGroupFilled(CCustom& group) = 0;
    // Before the group is deleted: the list and the tree let go of it.
    virtual void UserGroupClosing(CCustom& group) = 0;
    virtual void ValuesChanged() = 0;
    virtual void RecentFileUsed(const QString& path) = 0;
};

// The status bar texts besides the message pane.
struct ParaPaneTexts {
    QString graphWatch;  // red
    QString online;      // blue
    QString model;
    QString version;
    QString mode;
    QString time1;
    QString quantity;
};

class ParaFrameLogic {
public:
    static constexpr const char* kUserGroupFilter = "User Group File (*.usr)";
    static constexpr const char* kParaFilter = "Parameter File (*.par)";
    static constexpr const char* kTextFilter = "Parameter Text File (*.txt)";

    ParaFrameLogic(ToolHost& host, int station, std::shared_ptr<ParameterData> data, EditorMessages& messages,
                   FileChooser& files, ParaFrameObserver& observer);
    ~ParaFrameLogic();

    bool Online() const { return station_ < 256; }
    int Station() const { return station_; }
    const std::shared_ptr<ParameterData>& Data() const { return data_; }
    QString ModelName() const { return modelName_; }
    QString VersionText() const { return versionText_; }
    QString Title() const;
    ParaPaneTexts Panes(int rows) const;

    // User groups, in the order they were created or opened.
    const std::vector<std::unique_ptr<CCustom>>& UserGroups() const { return groups_; }
    CCustom* NewUserGroup();
    bool OpenUserGroupFile(const QString& path);
    // The file dialog, then OpenUserGroupFile.
    bool OpenUserGroup();
    // False when cancelled or failed; the group stays as it was.
    bool SaveUserGroup(CCustom& group);
    // False when the group stays open (its changes neither saved nor given up).
    bool CloseUserGroup(CCustom& group);
    bool CloseAllUserGroups();
    // The open group of that file (canonical paths compared), or null.
    CCustom* FindUserGroup(const QString& path) const;
    CCustom* FindUserGroupByName(const std::string& name) const;

    // The group "Add to User Group" fills: the one last selected, created or opened while it is
    // open, else the newest; null when none is open.
    CCustom* CurrentUserGroup() const;
    void SetCurrentUserGroup(CCustom* group);
    struct Added {
        CCustom* group = nullptr;
        int count = 0;         // parameters the group did not hold yet
        bool created = false;  // no group was open: a new untitled one took them
    };
    // Adds the parameters to the current user group, creating one as New User Group does when
    // none is open.
    Added AddToCurrentUserGroup(const std::vector<uint16_t>& addresses);
    // The status line after an Add.
    static QString AddedText(const Added& added);

    bool SaveParameterFile();
    bool ReadParameterFile();
    // Offline: values changed since the editor opened, or since the last parameter file saved or
    // read. Closing asks whether to save them; false keeps the editor open (save cancelled).
    bool ValuesModified() const;
    bool AskSaveParameters();
    // The dialog, then WriteTextFile. An online editor reads every parameter first (readAll).
    bool SaveTextFile(const std::function<void()>& readAll = {});
    bool WriteTextFile(const QString& path);
    // The listing: Windows-1252 names and texts formatted, then written as UTF-8 with CR LF.
    QByteArray TextListing() const;

    // The new-group counter shared by every editor of the process.
    static void ResetNewGroupCounter(int next = 1);
    void SetFileChooser(FileChooser& files) { files_ = &files; }

private:
    // proposed: a file name the dialog offers in the stored folder.
    QString ChooseSaveName(const char* title, const char* filter, const char* dirKey, bool promptOverwrite,
                           const QString& proposed = {});
    std::vector<uint32_t> Values() const;
    bool ConfirmOverwrite(const QString& path);

    ToolHost& host_;
    const int station_;
    std::shared_ptr<ParameterData> data_;
    EditorMessages& messages_;
    FileChooser* files_;
    ParaFrameObserver& observer_;
    QString modelName_;
    QString versionText_;
    std::vector<std::unique_ptr<CCustom>> groups_;
    CCustom* current_ = nullptr;
    std::vector<uint32_t> savedValues_;
};

// Canonical form of a file path for comparisons: links resolved, also for a file not yet there.
QString CanonicalFilePath(const QString& path);

}  // namespace vm
