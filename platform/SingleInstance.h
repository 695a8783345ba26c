#pragma once
// One running instance per user: the first start holds a lock and listens on a local socket; a
// later start finds the lock taken, asks the first instance to come to the front and exits.

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

namespace vm {

class SingleInstanceGuard : public QObject {
    Q_OBJECT
public:
    // name: the guard's name ("VRMN"); made per-user inside.
    explicit SingleInstanceGuard(const QString& name, QObject* parent = nullptr);
    ~SingleInstanceGuard() override;

    // True for the first instance, which then listens for later starts. False when another
    // instance runs; that instance has been asked to come to the front.
    bool Acquire();

    QString ServerName() const { return serverName_; }

signals:
    // A later start asked this (first) instance to show itself.
    void activateRequested();

private:
    bool NotifyRunningInstance();
    void OnNewConnection();

    QString serverName_;
    QLockFile lock_;
    std::unique_ptr<QLocalServer> server_;
};

}  // namespace vm
