#pragma once
// Shared pieces of the editor tests: a host whose message boxes answer from a script, file
// dialogs that answer from a script, settings in a temporary folder, and offline editors opened
// through the mode logic without showing its dialog.

#include "editor/EditorKind.h"
#include "editor/FileChooser.h"
#include "editor/ParaDrag.h"
#include "editor/ParaFrame.h"
#include "editor/ParaFrameLogic.h"
#include "paramdb/ParameterData.h"
#include "platform/Settings.h"
#include "tests/support/FakeToolHost.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <deque>
#include <functional>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace vm::test {

// Answers questions in order from a script (Yes when it runs out) and records everything.
class ScriptedMessages : public MessageSink {
public:
    struct Entry {
        MessageKind kind;
        std::string text;
        std::string caption;
    };
    void Show(MessageKind kind, const std::string& text, const std::string& caption) override
    {
        entries.push_back({kind, text, caption});
        if (onShow)
            onShow();
    }
    bool AskYesNo(const std::string& text, const std::string& caption) override
    {
        entries.push_back({MessageKind::Question, text, caption});
        if (onShow)
            onShow();
        if (answers.empty())
            return true;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> out;
        for (const auto& e : entries)
            out.push_back(e.text);
        return out;
    }
    std::vector<Entry> entries;
    std::deque<bool> answers;
    std::function<void()> onShow;
};

class ScriptedFiles : public FileChooser {
public:
    QString OpenFileName(const QString& title, const QString&, const QString&) override
    {
        return Next(title);
    }
    QString SaveFileName(const QString& title, const QString&, const QString& folder, bool) override
    {
        folders.push_back(folder);
        return Next(title);
    }
    QString Next(const QString& title)
    {
        titles.push_back(title);
        if (names.empty())
            return {};
        const QString n = names.front();
        names.pop_front();
        return n;
    }
    std::deque<QString> names;  // an empty name cancels
    std::vector<QString> titles;
    std::vector<QString> folders;  // where each save dialog started
};

class ScriptedHost : public FakeToolHost {
public:
    MessageSink& Messages() override { return script; }
    ScriptedMessages script;
};

// The mode setup answered by its logic with the given choices; nothing when "&Setup" fails.
inline ModeRunner LogicRunner(int model, int version, int mode = 1, int time1Index = 1)
{
    return [=](ToolHost& host, int station, ModeUse use, QWidget*) -> std::optional<ModeChoice> {
        ModeSettings s;
        s.mode = mode;
        s.model = model;
        s.version = version;
        s.time1Index = time1Index;
        ParaModeLogic logic(host, station, use, s);
        if (!logic.Setup())
            return std::nullopt;
        return logic.Choice();
    };
}

inline constexpr int kLargestModel = 4;  // QM-A20 0x0210, the largest data file
inline constexpr int kLargestVersion = 0x0210;

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           dir.filePath(QStringLiteral("config")));
        oldCwd = QDir::currentPath();
        QDir::setCurrent(dir.path());
        ParaFrameLogic::ResetNewGroupCounter();
    }
    void TearDown() override
    {
        host.frames.CloseAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QDir::setCurrent(oldCwd);
    }

    CParaFrame* OpenOffline(int model = kLargestModel, int version = kLargestVersion)
    {
        return OpenOffline(EditorParts(LogicRunner(model, version)));
    }
    CParaFrame* OpenOffline(ParaFrameParts parts)
    {
        RegisterEditorKind(host.frames, std::move(parts));
        const int slot = host.frames.FreeOfflineStation();
        auto* frame = static_cast<CParaFrame*>(host.frames.Open(kKindParameterEditor, slot));
        if (frame)
            frame->SetFileChooser(&files);
        return frame;
    }
    // Station `station` connected with its data file loaded, and the editor kind registered to open
    // it online.
    ::testing::AssertionResult ConnectOnline(int station, int model = kLargestModel,
                                             int version = kLargestVersion)
    {
        StationRecord& r = host.Record(station);
        r.present = r.connected = 1;
        r.model = model;
        r.version = version;
        r.paramData = std::make_shared<ParameterData>();
        if (!r.paramData->LoadDataFile(r, VARIMON_TEST_DATA_DIR))
            return ::testing::AssertionFailure()
                   << "no data file for model " << model << " version " << version;
        RegisterEditorKind(host.frames, LogicRunner(0, 0));
        return ::testing::AssertionSuccess();
    }
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
    QString oldCwd;
    ScriptedHost host;
    ScriptedFiles files;
};

}  // namespace vm::test
