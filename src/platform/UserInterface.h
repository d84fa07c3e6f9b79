#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QEventLoop;

struct ProgressOptions
{
    QString message;
    int max = 0;
    bool indeterminate = false;
    bool hideStop = false;
};

// A non-blocking modal run of a progress window, driven step by step by its owner.
class ProgressSession
{
public:
    virtual ~ProgressSession() = default;
    virtual void step() = 0;
    // Gives the window one turn of the event loop; false once the user pressed Stop.
    virtual bool runOnce() = 0;
    virtual void setMessage(const QString &message) = 0;
    virtual void end() = 0;
};

enum class AlertStyle { Warning, Informational, Critical };
enum class WaitOutcome { Ended, TimedOut };

// The one way the engine and the data halves talk to the person in front of the program. The
// desktop program answers with dialogs, the command-line tool on the terminal, the tests from a
// script. Everything here is called on the main thread.
class UserInterface
{
public:
    virtual ~UserInterface() = default;

    // A modal alert with the single button "OK".
    virtual void alert(const QString &title, const QString &message,
                       AlertStyle style = AlertStyle::Warning) = 0;
    // A modal question; answers the index of the chosen button (0 is the default button).
    virtual int confirm(const QString &title, const QString &message,
                        const QStringList &buttons) = 0;
    // A one-line prompt; nullopt when cancelled.
    virtual std::optional<QString> promptText(const QString &prompt, const QString &defaultText,
                                              const QString &buttonLabel) = 0;
    virtual std::unique_ptr<ProgressSession> beginProgress(const ProgressOptions &options) = 0;
    // Shows an indeterminate wait window without Stop and runs a nested event loop until
    // endWait() is called or the time-out (raised to at least 5 seconds) expires.
    virtual WaitOutcome waitModally(const QString &message, int timeoutSeconds) = 0;
    virtual void endWait() = 0;

    static int effectiveTimeout(int seconds) { return seconds < 5 ? 5 : seconds; }

    // What to do with unsaved edits of a settings window being closed.
    enum class UnsavedEdits { Keep, Discard, Cancel };
    UnsavedEdits askAboutUnsavedEdits(const QString &title);

    // Runs a nested event loop until `current` is quit (endWait) or `timeoutMs` pass; `current`
    // points at the loop while it runs. Shared by the implementations without a wait window.
    static WaitOutcome runWaitLoop(int timeoutMs, QEventLoop *&current);

    // The process-wide implementation; a quiet recording one until the program installs its own.
    static UserInterface &instance();
    static void setInstance(UserInterface *ui);
};
