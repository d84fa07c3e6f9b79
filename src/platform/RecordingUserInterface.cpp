#include "platform/RecordingUserInterface.h"

#include <QCoreApplication>
#include <QEventLoop>

class RecordingProgressSession : public ProgressSession
{
public:
    RecordingProgressSession(RecordingUserInterface *ui,
                             std::shared_ptr<RecordingUserInterface::Progress> record)
        : m_ui(ui), m_record(std::move(record))
    {}
    void step() override { ++m_record->steps; }
    bool runOnce() override
    {
        ++m_record->turns;
        const int turn = ++m_ui->m_totalTurns;
        if (m_ui->onTurn)
            m_ui->onTurn(turn);
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
        return !(m_ui->stopAtTurn >= 0 && turn >= m_ui->stopAtTurn);
    }
    void setMessage(const QString &message) override { m_record->messages << message; }
    void end() override { m_record->ended = true; }

private:
    RecordingUserInterface *m_ui;
    std::shared_ptr<RecordingUserInterface::Progress> m_record;
};

QStringList RecordingUserInterface::alertTexts() const
{
    QStringList texts;
    for (const Alert &a : alerts)
        texts << a.title + QStringLiteral(": ") + a.message;
    return texts;
}

void RecordingUserInterface::clear()
{
    alerts.clear();
    confirmations.clear();
    prompts.clear();
    progresses.clear();
    waits.clear();
    m_totalTurns = 0;
}

void RecordingUserInterface::alert(const QString &title, const QString &message, AlertStyle style)
{
    alerts.append({title, message, style});
}

int RecordingUserInterface::confirm(const QString &title, const QString &message,
                                    const QStringList &buttons)
{
    confirmations.append({title, message, buttons});
    return confirmAnswers.isEmpty() ? 0 : confirmAnswers.takeFirst();
}

std::optional<QString> RecordingUserInterface::promptText(const QString &prompt,
                                                          const QString &defaultText,
                                                          const QString &buttonLabel)
{
    prompts.append({prompt, defaultText, buttonLabel});
    return promptAnswers.isEmpty() ? std::nullopt : promptAnswers.takeFirst();
}

std::unique_ptr<ProgressSession>
RecordingUserInterface::beginProgress(const ProgressOptions &options)
{
    auto record = std::make_shared<Progress>();
    record->options = options;
    progresses.append(record);
    return std::make_unique<RecordingProgressSession>(this, record);
}

WaitOutcome RecordingUserInterface::waitModally(const QString &message, int timeoutSeconds)
{
    Wait wait{message, effectiveTimeout(timeoutSeconds), WaitOutcome::Ended};
    const int timeoutMs = waitTimeoutMs ? *waitTimeoutMs : wait.timeoutSeconds * 1000;
    if (!QCoreApplication::instance()) {
        wait.outcome = WaitOutcome::TimedOut;
        waits.append(wait);
        return wait.outcome;
    }
    wait.outcome = runWaitLoop(timeoutMs, m_waitLoop);
    waits.append(wait);
    return wait.outcome;
}

void RecordingUserInterface::endWait()
{
    if (m_waitLoop)
        m_waitLoop->quit();
}
