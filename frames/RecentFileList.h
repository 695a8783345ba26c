#pragma once
// A frame's most-recently-used files: at most n paths, newest first, stored as "File1".."Filen"
// in the frame's own settings section and shown in the File menu cut to 30 characters.

#include <QString>
#include <QStringList>

class QSettings;

namespace vm {

class RecentFileList {
public:
    static constexpr int kShownLength = 30;

    RecentFileList(const QString& section, int capacity);

    const QString& Section() const { return section_; }
    int Capacity() const { return capacity_; }
    const QStringList& Files() const { return files_; }

    // Puts the path first; an equal entry moves up, the oldest falls off.
    void Add(const QString& path);
    void Remove(const QString& path);

    void Read(QSettings& settings);
    void Write(QSettings& settings) const;

    // The entry as the menu shows it: "&1 " and the path, shortened to 30 characters with the
    // file name kept whole where it fits.
    static QString MenuText(int index, const QString& path);

private:
    QString section_;
    int capacity_;
    QStringList files_;
};

}  // namespace vm
