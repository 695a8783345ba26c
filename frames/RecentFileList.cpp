#include "frames/RecentFileList.h"

#include <QDir>
#include <QSettings>

namespace vm {

RecentFileList::RecentFileList(const QString& section, int capacity)
    : section_(section), capacity_(std::max(capacity, 0))
{}

void RecentFileList::Add(const QString& path)
{
    if (path.isEmpty() || capacity_ == 0)
        return;
    files_.removeAll(path);
    files_.prepend(path);
    while (files_.size() > capacity_)
        files_.removeLast();
}

void RecentFileList::Remove(const QString& path)
{
    files_.removeAll(path);
}

void RecentFileList::Read(QSettings& settings)
{
    files_.clear();
    settings.beginGroup(section_);
    for (int i = 1; i <= capacity_; ++i) {
        const QString path = settings.value(QStringLiteral("File%1").arg(i)).toString();
        if (!path.isEmpty() && !files_.contains(path))
            files_.append(path);
    }
    settings.endGroup();
}

void RecentFileList::Write(QSettings& settings) const
{
    settings.beginGroup(section_);
    for (int i = 1; i <= capacity_; ++i) {
        const QString key = QStringLiteral("File%1").arg(i);
        if (i <= files_.size())
            settings.setValue(key, files_[i - 1]);
        else
            settings.remove(key);
    }
    settings.endGroup();
}

QString RecentFileList::MenuText(int index, const QString& path)
{
    QString shown = QDir::toNativeSeparators(path);
    if (shown.size() > kShownLength) {
        const int slash = shown.lastIndexOf(QLatin1Char('/'));
        const QString name = slash >= 0 ? shown.mid(slash + 1) : shown;
        if (name.size() + 4 >= kShownLength) {
            shown = QStringLiteral("...") + name.right(kShownLength - 3);
        } else {
            // Keep the start of the folder and the whole file name.
            const int head = kShownLength - 4 - static_cast<int>(name.size());
            shown = shown.left(head) + QStringLiteral(".../") + name;
        }
    }
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(index + 1).arg(shown);
}

}  // namespace vm
