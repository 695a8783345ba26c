#include "editor/ParaFrameLogic.h"

#include "catalogue/MonitorItems.h"
#include "editor/FileChooser.h"
#include "editor/ParaDrag.h"
#include "frames/ToolHost.h"
#include "paramdb/ParaArray.h"
#include "paramdb/ParameterData.h"
#include "paramdb/TextCodec.h"
#include "paramdb/UserGroup.h"
#include "platform/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cstdio>

namespace vm {

namespace {

int g_nextGroupNumber = 1;

template <typename... Args>
std::string Format(const char* format, Args... args)
{
    const int n = std::snprintf(nullptr, 0, format, args...);
    std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
    std::snprintf(out.data(), out.size() + 1, format, args...);
    return out;
}

QString WithExtension(const QString& name, const char* extension)
{
    return QFileInfo(name).suffix().isEmpty() ? name + QLatin1Char('.') + QLatin1String(extension) : name;
}

}  // namespace

QString CanonicalFilePath(const QString& path)
{
    const QFileInfo fi(path);
    if (fi.exists())
        return fi.canonicalFilePath();
    const QString folder = QFileInfo(fi.absolutePath()).canonicalFilePath();
    if (!folder.isEmpty())
        return folder + QLatin1Char('/') + fi.fileName();
    return QDir::cleanPath(fi.absoluteFilePath());
}

void ParaFrameLogic::ResetNewGroupCounter(int next)
{
    g_nextGroupNumber = next;
}

ParaFrameLogic::ParaFrameLogic(ToolHost& host, int station, std::shared_ptr<ParameterData> data,
                               EditorMessages& messages, FileChooser& files, ParaFrameObserver& observer)
    : host_(host), station_(station), data_(std::move(data)), messages_(messages), files_(&files),
      observer_(observer)
{
    const StationRecord& record = host.Record(station);
    modelName_ = QString::fromStdString(FormatStationValue(record, 0, record.model));
    versionText_ = QString::fromStdString(FormatStationValue(record, 3, record.version));
    savedValues_ = Values();
}

std::vector<uint32_t> ParaFrameLogic::Values() const
{
    std::vector<uint32_t> values;
    if (data_)
        for (const auto& group : data_->Groups())
            for (const auto& item : group->items)
                values.push_back(item->value);
    return values;
}

bool ParaFrameLogic::ValuesModified() const
{
    return !Online() && Values() != savedValues_;
}

bool ParaFrameLogic::AskSaveParameters()
{
    if (!ValuesModified())
        return true;
    if (!messages_.Ask("Parameter data is modified\nDo you want to save to parameter file ?"))
        return true;
    return SaveParameterFile();
}

ParaFrameLogic::~ParaFrameLogic() = default;

QString ParaFrameLogic::Title() const
{
    const QString last = QString::fromLatin1(EditorMessages::kCaption);
    if (!Online())
        return QStringLiteral("OFF-LINE(%1, Ver%2) %3").arg(modelName_, versionText_, last);
    const QString name = host_.DeviceName(station_);
    if (!name.isEmpty())
        return QStringLiteral("ON-LINE(%1:%2 - %3, Ver%4) %5")
            .arg(station_)
            .arg(modelName_, name, versionText_, last);
    return QStringLiteral("ON-LINE(%1:%2, Ver%3) %4").arg(station_).arg(modelName_, versionText_, last);
}

ParaPaneTexts ParaFrameLogic::Panes(int rows) const
{
    ParaPaneTexts p;
    p.graphWatch = host_.GraphWatch() ? QStringLiteral("Graph Watch Mode") : QString();
    p.online = Online() ? QStringLiteral("ON-LINE") : QStringLiteral("OFF-LINE");
    p.model = modelName_;
    p.version = QStringLiteral("Ver : %1").arg(versionText_);
    const int mode = data_ ? data_->Mode() : 1;
    const int time1 = data_ ? data_->Time1() : 10;
    p.mode = mode ? QStringLiteral("FREQ MODE") : QStringLiteral("RPM MODE");
    p.time1 = time1 == 1     ? QStringLiteral("TIME1 : 1 sec")
              : time1 == 100 ? QStringLiteral("TIME1 : 0.01 sec")
                             : QStringLiteral("TIME1 : 0.1 sec");
    p.quantity = QStringLiteral("Parameter Quantity : %1").arg(rows);
    return p;
}

CCustom* ParaFrameLogic::NewUserGroup()
{
    const QString folder = QDir::currentPath();
    QString path;
    do {
        path = QStringLiteral("%1/custom_%2_v%3_%4.usr")
                   .arg(folder, modelName_, versionText_)
                   .arg(g_nextGroupNumber++);
    } while (FindUserGroup(path));
    const StationRecord& record = host_.Record(station_);
    auto group = std::make_unique<CCustom>(data_.get(), record.model, record.version);
    group->SetUntitled(true);
    group->SetModified(false);
    group->SetPath(path.toStdString());
    groups_.push_back(std::move(group));
    current_ = groups_.back().get();
    observer_.UserGroupAdded(*groups_.back(), false);
    return groups_.back().get();
}

bool ParaFrameLogic::OpenUserGroupFile(const QString& path)
{
    if (path.isEmpty())
        return false;
    if (FindUserGroup(path))
        return true;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    auto group = std::make_unique<CCustom>(data_.get());
    group->SetUntitled(false);
    group->SetModified(false);
    group->SetPath(absolute.toStdString());
    bool accepted = false;
    {
        EditorMessages::Guard g(messages_);
        ArchiveFile file(&messages_.Sink());
        file.SetCaption(EditorMessages::kCaption);
        file.Attach(absolute.toStdString(), group.get());
        if (!file.Load(true)) {
            messages_.Error("Fail to open user group file");
            return false;
        }
        accepted = group->AcceptForEditor(messages_.Sink(), EditorMessages::kCaption);
    }
    if (!accepted)
        return false;
    groups_.push_back(std::move(group));
    current_ = groups_.back().get();
    observer_.UserGroupAdded(*groups_.back(), true);
    observer_.RecentFileUsed(absolute);
    return true;
}

bool ParaFrameLogic::OpenUserGroup()
{
    QString name;
    {
        EditorMessages::Guard g(messages_);
        name = files_->OpenFileName(QStringLiteral("Open User Group File"),
                                    QString::fromLatin1(kUserGroupFilter), StoredFolder("Custom File Dir"));
    }
    if (name.isEmpty())
        return false;
    const bool ok = OpenUserGroupFile(name);
    if (ok)
        StoreFolder("Custom File Dir", name);
    return ok;
}

bool ParaFrameLogic::ConfirmOverwrite(const QString& path)
{
    if (!QFileInfo::exists(path))
        return true;
    const QString text = QStringLiteral("%1 file is already exist\nDo you want to over-write ?").arg(path);
    return messages_.Ask(text.toStdString());
}

QString ParaFrameLogic::ChooseSaveName(const char* title, const char* filter, const char* dirKey,
                                       bool promptOverwrite, const QString& proposed)
{
    EditorMessages::Guard g(messages_);
    QString start = StoredFolder(dirKey);
    if (!proposed.isEmpty())
        start = QDir(start.isEmpty() ? QDir::currentPath() : start).filePath(proposed);
    return files_
        ->SaveFileName(QString::fromLatin1(title), QString::fromLatin1(filter), start, promptOverwrite)
        .trimmed();
}

bool ParaFrameLogic::SaveUserGroup(CCustom& group)
{
    QString target = QString::fromStdString(group.Path());
    const bool saveAs = group.IsUntitled() || group.Path().empty();
    if (saveAs) {
        for (;;) {
            // Trimmed before any check, so the name checked is the name saved.
            // An untitled group offers the name it was given ("custom_..._1.usr").
            const QString proposed = QFileInfo(QString::fromStdString(group.Path())).fileName();
            target =
                ChooseSaveName("Save User Group File", kUserGroupFilter, "Custom File Dir", false, proposed);
            if (target.isEmpty())
                return false;
            target = QFileInfo(WithExtension(target, "usr")).absoluteFilePath();
            const CCustom* open = FindUserGroup(target);
            if (open && open != &group) {
                messages_.Error(
                    "Selected user group file's name is already opened.\nPlease, select again with other "
                    "name ?");
                continue;
            }
            if (!ConfirmOverwrite(target))
                return false;
            break;
        }
    }
    bool saved = false;
    {
        EditorMessages::Guard g(messages_);
        ArchiveFile file(&messages_.Sink());
        file.SetCaption(EditorMessages::kCaption);
        file.Attach(target.toStdString(), &group);
        saved = file.Save(true);
    }
    if (!saved) {
        messages_.Error("Fail to save user group file");
        return false;
    }
    if (saveAs) {
        group.SetPath(target.toStdString());
        group.SetUntitled(false);
        StoreFolder("Custom File Dir", target);
    }
    group.SetModified(false);
    observer_.RecentFileUsed(target);
    observer_.UserGroupRenamed(group);
    return true;
}

bool ParaFrameLogic::CloseUserGroup(CCustom& group)
{
    const auto it =
        std::find_if(groups_.begin(), groups_.end(), [&group](const auto& g) { return g.get() == &group; });
    if (it == groups_.end())
        return false;
    if (group.IsModified()) {
        const std::string name = group.Name();
        if (messages_.Ask(Format("User group[%s] is modified\nDo you want to save ?", name.c_str())) &&
            !SaveUserGroup(group) &&
            !messages_.Ask(Format("User group[%s] was not saved\nDo you want to close it without saving ?",
                                  name.c_str())))
            return false;
    }
    observer_.UserGroupClosing(group);
    if (current_ == &group)
        current_ = nullptr;
    groups_.erase(
        std::find_if(groups_.begin(), groups_.end(), [&group](const auto& g) { return g.get() == &group; }));
    return true;
}

bool ParaFrameLogic::CloseAllUserGroups()
{
    std::vector<CCustom*> open;
    for (const auto& g : groups_)
        open.push_back(g.get());
    for (CCustom* g : open)
        if (!CloseUserGroup(*g))
            return false;
    return true;
}

CCustom* ParaFrameLogic::FindUserGroup(const QString& path) const
{
    const QString canonical = CanonicalFilePath(path);
    for (const auto& g : groups_)
        if (CanonicalFilePath(QString::fromStdString(g->Path())) == canonical)
            return g.get();
    return nullptr;
}

CCustom* ParaFrameLogic::CurrentUserGroup() const
{
    if (current_)
        return current_;
    return groups_.empty() ? nullptr : groups_.back().get();
}

void ParaFrameLogic::SetCurrentUserGroup(CCustom* group)
{
    for (const auto& g : groups_)
        if (g.get() == group)
            current_ = group;
}

ParaFrameLogic::Added ParaFrameLogic::AddToCurrentUserGroup(const std::vector<uint16_t>& addresses)
{
    Added added;
    if (addresses.empty() || !data_ || !data_->IsLoaded())
        return added;
    added.group = CurrentUserGroup();
    if (!added.group) {
        added.group = NewUserGroup();
        added.created = true;
    }
    added.count = AddToUserGroup(*added.group, *data_, addresses);
    if (added.count > 0)
        observer_.UserGroupFilled(*added.group);
    return added;
}

QString ParaFrameLogic::AddedText(const Added& added)
{
    if (!added.group)
        return QStringLiteral("No parameter selected");
    const QString name = QString::fromStdString(added.group->Name());
    if (added.count == 0)
        return QStringLiteral("User group %1 already holds the selected parameters").arg(name);
    return QStringLiteral("%1 parameter(s) added to %2user group %3")
        .arg(added.count)
        .arg(added.created ? QStringLiteral("new ") : QString())
        .arg(name);
}

CCustom* ParaFrameLogic::FindUserGroupByName(const std::string& name) const
{
    for (const auto& g : groups_)
        if (g->Name() == name)
            return g.get();
    return nullptr;
}

bool ParaFrameLogic::SaveParameterFile()
{
    if (!data_)
        return false;
    QString name = ChooseSaveName("Save Parameter File", kParaFilter, "Para File Dir", false);
    if (name.isEmpty())
        return false;
    name = QFileInfo(WithExtension(name, "par")).absoluteFilePath();
    if (!ConfirmOverwrite(name))
        return false;
    const StationRecord& record = host_.Record(station_);
    CParaArray set(record.model, record.version);
    set.AppendItems(*data_);
    bool saved = false;
    {
        EditorMessages::Guard g(messages_);
        ArchiveFile file(&messages_.Sink());
        file.SetCaption(EditorMessages::kCaption);
        file.Attach(name.toStdString(), &set);
        saved = file.Save(true);
    }
    if (!saved) {
        messages_.Error("Fail to save parameter file");
        return false;
    }
    StoreFolder("Para File Dir", name);
    savedValues_ = Values();
    messages_.Information("Saving parameter file is successful");
    return true;
}

bool ParaFrameLogic::ReadParameterFile()
{
    if (!data_)
        return false;
    QString name;
    {
        EditorMessages::Guard g(messages_);
        name = files_->OpenFileName(QStringLiteral("Open Parameter File"), QString::fromLatin1(kParaFilter),
                                    StoredFolder("Para File Dir"));
    }
    if (name.isEmpty())
        return false;
    const StationRecord& record = host_.Record(station_);
    CParaArray set(record.model, record.version);
    ArchiveFailure failure = ArchiveFailure::None;
    {
        EditorMessages::Guard g(messages_);
        ArchiveFile file(&messages_.Sink());
        file.SetCaption(EditorMessages::kCaption);
        file.Attach(name.toStdString(), &set);
        if (!file.Load(true))
            failure = file.Failure();
    }
    if (failure == ArchiveFailure::Aborted)
        return false;  // another model or version, already said
    if (failure != ArchiveFailure::None) {
        messages_.Error("Fail to open parameter file");
        return false;
    }
    StoreFolder("Para File Dir", name);
    set.ApplyTo(*data_);
    savedValues_ = Values();
    observer_.ValuesChanged();
    messages_.Information("Reading parameter file is successful");
    return true;
}

bool ParaFrameLogic::SaveTextFile(const std::function<void()>& readAll)
{
    QString name = ChooseSaveName("Save Parameter Text File", kTextFilter, "ParaText File Dir", true);
    if (name.isEmpty())
        return false;
    if (Online() && readAll)
        readAll();
    return WriteTextFile(QFileInfo(WithExtension(name, "txt")).absoluteFilePath());
}

bool ParaFrameLogic::WriteTextFile(const QString& path)
{
    // Written beside the old file and renamed over it: a failure leaves the old listing.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        messages_.Error("Fail to save parameter with text file");
        return false;
    }
    const QByteArray bytes = TextListing();
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        messages_.Error(QStringLiteral("%1: %2").arg(path, file.errorString()).toStdString());
        file.cancelWriting();
        messages_.Error("Fail to save parameter with text file");
        return false;
    }
    messages_.Information("Saving parameter to text file is successful");
    StoreFolder("ParaText File Dir", path);
    return true;
}

QByteArray ParaFrameLogic::TextListing() const
{
    const StationRecord& record = host_.Record(station_);
    const std::string model = modelName_.toStdString();
    const std::string version = versionText_.toStdString();
    std::string text;
    if (Online()) {
        const std::string capacity = FormatStationValue(record, 1, record.capacity);
        text = Format("ON-LINE %d : %s (%s) Ver%s\n\n", station_, model.c_str(), capacity.c_str(),
                      version.c_str());
    } else {
        text = Format("OFF-LINE %s Ver%s\n\n", model.c_str(), version.c_str());
    }
    if (data_) {
        for (const auto& group : data_->Groups()) {
            text += "[" + group->name + "]\n";
            for (const auto& item : group->items) {
                if (!item->writable)
                    continue;
                // Padded in Windows-1252, one byte per character, so the columns line up.
                text += Format("%d = %-20s, %-15s, %s\n", item->Code(), item->displayName.c_str(),
                               item->ValueText().c_str(), item->UnitText().c_str());
            }
            text += "\n";
        }
    }
    const std::string utf8 = Cp1252ToUtf8(text);
    QByteArray out;
    out.reserve(static_cast<qsizetype>(utf8.size() + utf8.size() / 16));
    for (char c : utf8) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

}  // namespace vm
