#include "cli/TerminalUserInterface.h"

#include "cli/CommandRegistry.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <csignal>
#include <unistd.h>

namespace {

std::atomic<int> g_interrupts{0};

void onInterrupt(int)
{
    if (g_interrupts.fetch_add(1) >= 1) {
        static const char message[] = "\nbrindlewick-cli: interrupted\n";
        ssize_t ignored = ::write(STDERR_FILENO, message, sizeof message - 1);
        (void)ignored;
        ::_exit(ExitCancelled);
    }
}

class TerminalProgress : public ProgressSession
{
public:
    explicit TerminalProgress(const ProgressOptions &options)
        : m_options(options), m_tty(::isatty(STDERR_FILENO) == 1)
    {
        if (!m_tty)
            printErr(m_options.message + QLatin1Char('\n'));
        draw();
    }
    ~TerminalProgress() override { end(); }

    void step() override
    {
        ++m_done;
        if (m_tty)
            draw();
    }
    bool runOnce() override
    {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
        return !TerminalUserInterface::stopRequested();
    }
    void setMessage(const QString &message) override
    {
        m_options.message = message;
        if (m_tty)
            draw();
        else
            printErr(message + QLatin1Char('\n'));
    }
    void end() override
    {
        if (m_ended)
            return;
        m_ended = true;
        if (m_tty)
            printErr(QStringLiteral("\r\033[K"));
    }

private:
    void draw()
    {
        if (!m_tty || m_ended)
            return;
        QString line;
        if (m_options.indeterminate || m_options.max <= 0) {
            line = m_options.message;
        } else {
            constexpr int width = 30;
            const int filled = qBound(0, m_done * width / m_options.max, width);
            line = QStringLiteral("[%1%2] %3/%4 %5")
                       .arg(QString(filled, QLatin1Char('#')),
                            QString(width - filled, QLatin1Char(' ')))
                       .arg(m_done)
                       .arg(m_options.max)
                       .arg(m_options.message);
        }
        printErr(QStringLiteral("\r\033[K") + line);
    }

    ProgressOptions m_options;
    bool m_tty;
    int m_done = 0;
    bool m_ended = false;
};

} // namespace

TerminalUserInterface::TerminalUserInterface() = default;
TerminalUserInterface::~TerminalUserInterface() = default;

void TerminalUserInterface::installInterruptHandler()
{
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

bool TerminalUserInterface::stopRequested()
{
    return g_interrupts.load() > 0;
}

void TerminalUserInterface::resetStop()
{
    g_interrupts.store(0);
}

void TerminalUserInterface::alert(const QString &title, const QString &message, AlertStyle)
{
    ++m_alerts;
    printErr(message.isEmpty() ? title + QLatin1Char('\n')
                               : title + QStringLiteral(": ") + message + QLatin1Char('\n'));
}

int TerminalUserInterface::confirm(const QString &title, const QString &message,
                                   const QStringList &buttons)
{
    printErr(QStringLiteral("%1: %2 [%3]\n").arg(title, message, buttons.value(0)));
    return 0;
}

std::optional<QString> TerminalUserInterface::promptText(const QString &prompt, const QString &,
                                                         const QString &)
{
    printErr(prompt + QStringLiteral(": (no answer on the command line)\n"));
    return std::nullopt;
}

std::unique_ptr<ProgressSession>
TerminalUserInterface::beginProgress(const ProgressOptions &options)
{
    return std::make_unique<TerminalProgress>(options);
}

WaitOutcome TerminalUserInterface::waitModally(const QString &message, int timeoutSeconds)
{
    printErr(message + QLatin1Char('\n'));
    return runWaitLoop(effectiveTimeout(timeoutSeconds) * 1000, m_waitLoop);
}

void TerminalUserInterface::endWait()
{
    if (m_waitLoop)
        m_waitLoop->quit();
}
