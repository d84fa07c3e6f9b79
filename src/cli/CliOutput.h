#pragma once

#include "log/ConsoleLog.h"

// The console log's pane on the terminal: each message is written to standard output as built.
class StdoutLogPane : public LogPane
{
public:
    void append(const QString &text) override;
    void clear() override {}
    void scrollToTop() override {}
};
