#include "monitor/Application.h"

#include "platform/SingleInstance.h"
#include "platform/WindowPlacement.h"

#include <QApplication>
#include <QSettings>
#include <QTimer>

#include <cstdio>

namespace vm {

std::optional<std::vector<int>> ParseIdList(const QString& text)
{
    std::vector<int> ids;
    const QStringList parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        const QStringList bounds = part.trimmed().split(QLatin1Char('-'));
        bool okFrom = false, okTo = true;
        const int from = bounds.value(0).toInt(&okFrom);
        const int to = bounds.size() == 2 ? bounds[1].toInt(&okTo) : from;
        if (bounds.size() > 2 || !okFrom || !okTo || from < kStationIdMin || to > kStationIdMax || to < from)
            return std::nullopt;
        for (int id = from; id <= to; ++id)
            ids.push_back(id);
    }
    if (ids.empty())
        return std::nullopt;
    return ids;
}

Result<StartOptions> ParseStartOptions(const QStringList& arguments)
{
    // The exit code of a program started with a command line it cannot follow.
    constexpr int kBadCommandLine = 2;
    StartOptions options;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (a == QLatin1String("--port") && hasValue) {
            options.port = arguments[++i];
        } else if (a == QLatin1String("--scan") && hasValue) {
            options.scanIds = ParseIdList(arguments[++i]);
            if (!options.scanIds)
                return Failure{kBadCommandLine, QStringLiteral("Bad station ID list: %1 (use e.g. 1-5,9)")
                                                    .arg(arguments[i])
                                                    .toStdString()};
        } else {
            return Failure{kBadCommandLine,
                           QStringLiteral("Unknown option: %1\nUsage: varimon [--port "
                                          "DEVICE|tcp://HOST:PORT|rfc2217://HOST:PORT] [--scan IDS]")
                               .arg(a)
                               .toStdString()};
        }
    }
    return options;
}

int RunVarimon(int argc, char** argv, const ToolKindRegistration& registerTools)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(kCompanyKey));
    QApplication::setApplicationName(QStringLiteral("Varimon"));
    // No display name: the platform would append it to every window title.

    const Result<StartOptions> parsed = ParseStartOptions(app.arguments());
    if (!parsed) {
        std::fprintf(stderr, "%s\n", parsed.Text().c_str());
        return parsed.Code();
    }
    const StartOptions& options = parsed.Value();
    // A separate settings store, e.g. for the demo, so that it leaves the operator's alone.
    const QString configDir = qEnvironmentVariable("VARIMON_CONFIG_DIR");
    if (!configDir.isEmpty())
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configDir);

    SingleInstanceGuard guard(QStringLiteral("VRMN"));
    if (!guard.Acquire())
        return 0;

    CMainFrame frame(ResolveApplicationFolders(), options);
    if (registerTools)
        registerTools(frame.Frames());
    frame.UpdateCommands();
    QObject::connect(&guard, &SingleInstanceGuard::activateRequested, &frame, [&frame] {
        frame.setWindowState((frame.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        frame.show();
        frame.raise();
        frame.activateWindow();
    });
    {
        QSettings s(kCompanyKey, kApplicationKey);
        if (!RestorePlacement(s, QStringLiteral("MAIN"), frame))
            frame.resize(960, 600);
    }
    frame.show();
    QTimer::singleShot(0, &frame, [&frame] { frame.Startup(); });
    return app.exec();
}

}  // namespace vm
