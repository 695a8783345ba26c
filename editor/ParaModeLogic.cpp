#include "editor/ParaModeLogic.h"

#include "catalogue/DataFileVersions.h"
#include "catalogue/Registers.h"
#include "frames/ToolHost.h"
#include "paramdb/ParameterData.h"
#include "platform/ProgramFolders.h"

#include <QSettings>

#include <algorithm>

namespace vm {

int Time1FromIndex(int index)
{
    switch (index) {
    case 0:
        return 100;
    case 2:
        return 1;
    default:
        return 10;
    }
}

int Time1Index(int time1)
{
    if (time1 == 100)
        return 0;
    if (time1 == 1)
        return 2;
    return 1;
}

const std::vector<QString>& Time1Texts()
{
    static const std::vector<QString> texts{QStringLiteral("0.01 sec"), QStringLiteral("0.1 sec"),
                                            QStringLiteral("1 sec")};
    return texts;
}

ModeSettings ModeSettings::Read(QSettings& settings)
{
    ModeSettings m;
    settings.beginGroup(QStringLiteral("Main"));
    m.mode = settings.value(QStringLiteral("Para Mode"), 1).toInt();
    m.time1Index = settings.value(QStringLiteral("Para TIME1"), 1).toInt();
    if (m.time1Index < 0 || m.time1Index >= 3)
        m.time1Index = 1;
    m.model = settings.value(QStringLiteral("Para Model"), static_cast<int>(kModelQmB20X)).toInt();
    if (!IsSupportedModel(m.model))
        m.model = kModelQmB20X;
    m.version = settings.value(QStringLiteral("Para Version"), 0).toInt();
    settings.endGroup();
    return m;
}

void ModeSettings::Write(QSettings& settings, bool all) const
{
    settings.beginGroup(QStringLiteral("Main"));
    settings.setValue(QStringLiteral("Para Mode"), mode);
    if (all) {
        settings.setValue(QStringLiteral("Para TIME1"), time1Index);
        settings.setValue(QStringLiteral("Para Model"), model);
        settings.setValue(QStringLiteral("Para Version"), version);
    }
    settings.endGroup();
}

ParaModeLogic::ParaModeLogic(ToolHost& host, int station, ModeUse use, const ModeSettings& stored)
    : host_(host), station_(station), use_(use)
{
    StationRecord& record = host.Record(station);
    const ParameterData* data = record.paramData.get();
    int mode = stored.mode;
    int model = stored.model;
    int version = stored.version;
    time1Index_ = stored.time1Index;
    if (use == ModeUse::Reopen && data && data->IsLoaded()) {
        mode = data->Mode();
        model = data->Model();
        version = data->Version();
        time1Index_ = vm::Time1Index(Online() ? record.timeScale : data->Time1());
    }
    freq_ = mode != 0;
    if (Online() && record.present && record.connected)
        time1Index_ = vm::Time1Index(record.timeScale);

    models_ = FillModelList();
    const QString templ = QString::fromLatin1(kTemplateCaption);
    if (Online()) {
        const QString name = host.DeviceName(station);
        caption_ = name.isEmpty() ? QStringLiteral("ON LINE - ") + templ
                                  : QStringLiteral("ON LINE(%1) - %2").arg(name, templ);
        FillVersions(record.model, record.version);
        modelEnabled_ = versionEnabled_ = time1Enabled_ = false;
        if (!data)
            SetError(QStringLiteral("Fail to initialize parameter object"));
        else if (!data->IsLoaded())
            SetError(QString::fromStdString(data->StatusText()));
    } else {
        caption_ = QStringLiteral("OFF LINE - ") + templ;
        FillVersions(model, version);
        if (modelIndex_ < 0 && !models_.empty())
            FillVersions(models_.front().data, version);
        if (versionIndex_ < 0 && !versions_.empty())
            versionIndex_ = 0;
        if (use == ModeUse::Reopen) {
            modelEnabled_ = versionEnabled_ = false;
            if (!data)
                SetError(QStringLiteral("Fail to initialize parameter object"));
            else if (!data->IsLoaded())
                SetError(QString::fromStdString(data->StatusText()));
        } else if (versions_.empty()) {
            modelEnabled_ = versionEnabled_ = false;
            SetError(QStringLiteral("There is no data file for this model"));
        }
    }
    initialised_ = true;
}

void ParaModeLogic::FillVersions(int model, int version)
{
    const auto it =
        std::find_if(models_.begin(), models_.end(), [model](const ListEntry& e) { return e.data == model; });
    modelIndex_ = it == models_.end() ? -1 : static_cast<int>(it - models_.begin());
    versions_ = modelIndex_ < 0 ? std::vector<ListEntry>{} : host_.Versions().FillVersionList(model);
    const auto v = std::find_if(versions_.begin(), versions_.end(),
                                [version](const ListEntry& e) { return e.data == version; });
    versionIndex_ = v == versions_.end() ? -1 : static_cast<int>(v - versions_.begin());
}

void ParaModeLogic::SetError(const QString& text)
{
    status_ = text;
    statusError_ = true;
    setupEnabled_ = false;
}

void ParaModeLogic::SetTime1Index(int index)
{
    if (time1Enabled_ && index >= 0 && index < 3)
        time1Index_ = index;
}

void ParaModeLogic::SelectModel(int index)
{
    if (!initialised_ || Online() || use_ != ModeUse::NewEditor || !modelEnabled_)
        return;
    if (index < 0 || index >= static_cast<int>(models_.size()))
        return;
    FillVersions(models_[static_cast<size_t>(index)].data, -1);
    versionIndex_ = versions_.empty() ? -1 : 0;
    if (versions_.empty()) {
        SetError(QStringLiteral("There is no data file for this model"));
    } else {
        status_.clear();
        statusError_ = false;
        setupEnabled_ = true;
    }
}

void ParaModeLogic::SelectVersion(int index)
{
    if (versionEnabled_ && index >= 0 && index < static_cast<int>(versions_.size()))
        versionIndex_ = index;
}

bool ParaModeLogic::Setup()
{
    if (!setupEnabled_)
        return false;
    if (Online() || use_ == ModeUse::Reopen)
        return true;
    if (modelIndex_ < 0 || versionIndex_ < 0)
        return false;
    StationRecord& record = host_.Record(station_);
    record.model = models_[static_cast<size_t>(modelIndex_)].data;
    record.version = versions_[static_cast<size_t>(versionIndex_)].data;
    record.timeScale = Time1FromIndex(time1Index_);
    auto data = std::make_shared<ParameterData>();
    if (data->LoadDataFile(record, host_.Folders().data.toStdString())) {
        record.paramData = std::move(data);
        return true;
    }
    status_ = QString::fromStdString(data->StatusText());
    statusError_ = true;
    record.Reset();
    return false;
}

void ParaModeLogic::StoreSettings(QSettings& settings) const
{
    ModeSettings m;
    m.mode = freq_ ? 1 : 0;
    m.time1Index = time1Index_;
    m.model = modelIndex_ >= 0 ? models_[static_cast<size_t>(modelIndex_)].data : kModelQmB20X;
    m.version = versionIndex_ >= 0 ? versions_[static_cast<size_t>(versionIndex_)].data : 0;
    m.Write(settings, !Online() && use_ == ModeUse::NewEditor);
}

}  // namespace vm
