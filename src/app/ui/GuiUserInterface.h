#pragma once

#include "platform/UserInterface.h"

#include <QList>

class QEventLoop;
class QWidget;

// The desktop program's side of the user-interface port: alerts and questions as message boxes,
// the prompt as GetTextController, progress and waits as ProgressController windows driven by
// nested event loops. Main thread only.
class GuiUserInterface : public UserInterface
{
public:
    GuiUserInterface() = default;
    ~GuiUserInterface() override;

    void alert(const QString &title, const QString &message, AlertStyle style) override;
    int confirm(const QString &title, const QString &message, const QStringList &buttons) override;
    std::optional<QString> promptText(const QString &prompt, const QString &defaultText,
                                      const QString &buttonLabel) override;
    std::unique_ptr<ProgressSession> beginProgress(const ProgressOptions &options) override;
    WaitOutcome waitModally(const QString &message, int timeoutSeconds) override;
    void endWait() override;

private:
    struct Wait
    {
        int id = 0;
        QEventLoop *loop = nullptr;
        bool timedOut = false;
        bool ended = false;
    };
    QList<Wait *> m_waits;
    int m_nextWait = 1;
    // Time-outs hold a weak reference, so one arriving after this object is gone does nothing.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};
