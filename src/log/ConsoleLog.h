#pragma once

#include "platform/Format.h"

#include <QString>

// The console log: every message goes to the system log as one entry and is appended, exactly
// as built, to the log pane of the shared Logger (when there is one).

// Where the console log shows its text: the main window's log view, the terminal, a test string.
class LogPane
{
public:
    virtual ~LogPane() = default;
    virtual void append(const QString &text) = 0;
    virtual void clear() = 0;
    virtual void scrollToTop() = 0;
};

// Collects the pane text in memory (tests, and whoever needs the text afterwards).
class StringLogPane : public LogPane
{
public:
    void append(const QString &text) override { m_text += text; }
    void clear() override { m_text.clear(); }
    void scrollToTop() override { ++m_scrolls; }
    const QString &text() const { return m_text; }
    int scrollsToTop() const { return m_scrolls; }

private:
    QString m_text;
    int m_scrolls = 0;
};

// Creating a Logger makes it the shared one (the most recently created wins); its textview is
// not owned. Main thread only.
class Logger
{
public:
    Logger();
    ~Logger();
    Logger(const Logger &) = delete;
    Logger &operator=(const Logger &) = delete;

    static Logger *shared();
    LogPane *textview() const { return m_textview; }
    void setTextview(LogPane *pane) { m_textview = pane; }

private:
    LogPane *m_textview = nullptr;
};

// Writes a finished message: system log entry, then the pane.
void logMessage(const QString &message);

// logPrint("\nERROR copying file: %@\n", error) - "%@" and C conversions mixed.
template <typename... Args> void logPrint(const char *format, const Args &...args)
{
    logMessage(formatMessage(format, args...));
}

void logPuts(const char *text);
// Standard conversions only, formatted into 1000 bytes: longer output is cut at 999 bytes.
void logPrintf(const char *format, ...) __attribute__((format(printf, 1, 2)));
void logClear();
void logScrollToTop();
