#include "app/ui/GuiUserInterface.h"

#include "app/ui/GetTextController.h"
#include "app/ui/ProgressController.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>

namespace {

QWidget *dialogParent()
{
    if (QWidget *active = QApplication::activeModalWidget())
        return active;
    return QApplication::activeWindow();
}

class GuiProgressSession : public ProgressSession
{
public:
    explicit GuiProgressSession(const ProgressOptions &options)
        : m_window(new ProgressController(dialogParent()))
    {
        m_window->message = options.message;
        m_window->max = options.max;
        m_window->indeterminant = options.indeterminate;
        m_window->hideStop = options.hideStop;
        m_window->beginModalSession();
    }
    ~GuiProgressSession() override { end(); }

    void step() override
    {
        if (m_window)
            m_window->step();
    }
    bool runOnce() override { return m_window ? m_window->runOnce() : false; }
    void setMessage(const QString &message) override
    {
        if (m_window)
            m_window->setMessage(message);
    }
    void end() override
    {
        if (!m_window)
            return;
        m_window->endModalSession();
        delete m_window;
        m_window = nullptr;
    }

private:
    ProgressController *m_window;
};

} // namespace

GuiUserInterface::~GuiUserInterface()
{
    for (Wait *wait : std::as_const(m_waits))
        if (wait->loop)
            wait->loop->quit();
}

void GuiUserInterface::alert(const QString &title, const QString &message, AlertStyle style)
{
    const QMessageBox::Icon icon = style == AlertStyle::Informational ? QMessageBox::Information
                                   : style == AlertStyle::Critical    ? QMessageBox::Critical
                                                                      : QMessageBox::Warning;
    QMessageBox box(icon, QStringLiteral("Brindlewick"), title, QMessageBox::NoButton,
                    dialogParent());
    box.setObjectName(QStringLiteral("alert"));
    box.setInformativeText(message);
    QPushButton *ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

int GuiUserInterface::confirm(const QString &title, const QString &message,
                              const QStringList &buttons)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Brindlewick"), title,
                    QMessageBox::NoButton, dialogParent());
    box.setObjectName(QStringLiteral("confirm"));
    box.setInformativeText(message);
    QList<QAbstractButton *> made;
    const QStringList labels = buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : buttons;
    for (const QString &label : labels)
        made.append(box.addButton(label, QMessageBox::ActionRole));
    box.setDefaultButton(qobject_cast<QPushButton *>(made.first()));
    box.exec();
    const int chosen = int(made.indexOf(box.clickedButton()));
    // Escape or closing the box answers the last button, the usual place of Cancel.
    return chosen < 0 ? int(made.size()) - 1 : chosen;
}

std::optional<QString> GuiUserInterface::promptText(const QString &prompt,
                                                    const QString &defaultText,
                                                    const QString &buttonLabel)
{
    return GetTextController::get(prompt, defaultText, buttonLabel);
}

std::unique_ptr<ProgressSession> GuiUserInterface::beginProgress(const ProgressOptions &options)
{
    return std::make_unique<GuiProgressSession>(options);
}

WaitOutcome GuiUserInterface::waitModally(const QString &message, int timeoutSeconds)
{
    Wait wait;
    wait.id = m_nextWait++;
    QEventLoop loop;
    wait.loop = &loop;
    m_waits.append(&wait);

    ProgressController window(dialogParent());
    window.message = message;
    window.indeterminant = true;
    window.hideStop = true;
    window.timeoutPeriod = timeoutSeconds;
    const int id = wait.id;
    // The time-out may arrive long after this wait has ended; it then finds nothing to end.
    window.timeoutTarget = [this, id, alive = std::weak_ptr<int>(m_alive)] {
        if (alive.expired())
            return;
        for (Wait *w : std::as_const(m_waits)) {
            if (w->id == id && w->loop) {
                w->timedOut = true;
                w->loop->quit();
            }
        }
    };
    window.setWindowModality(Qt::ApplicationModal);
    window.show();
    if (!wait.ended && !wait.timedOut)
        loop.exec();
    window.hide();
    m_waits.removeAll(&wait);
    return wait.timedOut ? WaitOutcome::TimedOut : WaitOutcome::Ended;
}

void GuiUserInterface::endWait()
{
    if (m_waits.isEmpty())
        return;
    Wait *innermost = m_waits.last();
    innermost->ended = true;
    if (innermost->loop)
        innermost->loop->quit();
}
