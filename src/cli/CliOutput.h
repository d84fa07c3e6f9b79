#pragma once

#include "log/ConsoleLog.h"

// The console log's pane on the terminal: each message is written to standard output as built
// (to standard error while standard output carries a JSON answer).
class StdoutLogPane : public LogPane
{
public:
    static void setToStderr(bool toStderr);
    void append(const QString &text) override;
    void clear() override {}
    void scrollToTop() override {}
};
