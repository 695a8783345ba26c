#pragma once
// Drives a tool window into one of its modal dialogs and acts while that dialog runs: a probe
// timer firing inside the dialog's own event loop walks a script of (which dialog is on top, what
// to do then) steps. The line, when given, is stepped from the same timer, so replies keep coming
// while the dialog is open.

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

namespace vm::test {

struct ModalStep {
    std::function<bool(QWidget* top)> match;  // the dialog on top is the one awaited
    std::function<void(QWidget* top)> act;
};

template <typename T>
std::function<bool(QWidget*)> TopIs()
{
    return [](QWidget* w) { return qobject_cast<T*>(w) != nullptr; };
}

// Runs `start` from the event loop, then the steps in order; returns true once every step ran
// and `done` holds (bounded, so a broken mend fails instead of hanging).
inline bool RunUnderModal(const std::function<void()>& start, std::vector<ModalStep> steps,
                          const std::function<bool()>& done, const std::function<void()>& stepLine = {})
{
    size_t next = 0;
    QTimer probe;
    probe.setInterval(2);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (stepLine)
            stepLine();
        QWidget* top = QApplication::activeModalWidget();
        if (next < steps.size() && top && steps[next].match(top)) {
            const size_t i = next++;
            steps[i].act(top);
        }
    });
    probe.start();
    QTimer::singleShot(0, start);
    return QTest::qWaitFor([&] { return next == steps.size() && done(); }, 20000);
}

}  // namespace vm::test
