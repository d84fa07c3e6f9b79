#pragma once

#include "platform/UserInterface.h"

#include <QList>

#include <functional>

// A user interface that records everything it is asked and answers from a script. Used by the
// tests (which assert on the exact texts) and as the quiet default before a real one exists.
class RecordingUserInterface : public UserInterface
{
public:
    struct Alert
    {
        QString title;
        QString message;
        AlertStyle style = AlertStyle::Warning;
    };
    struct Confirmation
    {
        QString title;
        QString message;
        QStringList buttons;
    };
    struct Prompt
    {
        QString prompt;
        QString defaultText;
        QString buttonLabel;
    };
    struct Progress
    {
        ProgressOptions options;
        QStringList messages;
        int steps = 0;
        int turns = 0;
        bool ended = false;
    };
    struct Wait
    {
        QString message;
        int timeoutSeconds = 0;
        WaitOutcome outcome = WaitOutcome::Ended;
    };

    // What was asked, in order.
    QList<Alert> alerts;
    QList<Confirmation> confirmations;
    QList<Prompt> prompts;
    QList<std::shared_ptr<Progress>> progresses;
    QList<Wait> waits;

    // The script. Unscripted confirmations answer 0, unscripted prompts are cancelled.
    QList<int> confirmAnswers;
    QList<std::optional<QString>> promptAnswers;
    // runOnce() answers false from this turn on (counting every session's turns from 1); -1 never.
    int stopAtTurn = -1;
    // Replaces the real time-out of waitModally, so tests do not sit through 5 seconds.
    std::optional<int> waitTimeoutMs;
    // Called on every turn of a progress session (after it is counted), e.g. to pull a file.
    std::function<void(int turn)> onTurn;

    // "TITLE: MESSAGE" for each alert, for compact assertions.
    QStringList alertTexts() const;
    void clear();

    void alert(const QString &title, const QString &message, AlertStyle style) override;
    int confirm(const QString &title, const QString &message, const QStringList &buttons) override;
    std::optional<QString> promptText(const QString &prompt, const QString &defaultText,
                                      const QString &buttonLabel) override;
    std::unique_ptr<ProgressSession> beginProgress(const ProgressOptions &options) override;
    WaitOutcome waitModally(const QString &message, int timeoutSeconds) override;
    void endWait() override;

private:
    int m_totalTurns = 0;
    class QEventLoop *m_waitLoop = nullptr;
    friend class RecordingProgressSession;
};
