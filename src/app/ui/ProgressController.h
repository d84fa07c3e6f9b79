#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

// The progress window: a message, a bar from 0 to max (hidden when indeterminate, the window then
// 90 points high) and a Stop button. Its creator sets the properties, then either runs it modally
// (exec) or begins a non-blocking modal run that it drives with runOnce(). A time-out, when a
// target is set, is armed on a worker thread of its own and carried out on the main thread; it is
// never cancelled, so the target must check for itself whether it still waits.
class ProgressController : public QDialog
{
    Q_OBJECT

public:
    explicit ProgressController(QWidget *parent = nullptr);
    ~ProgressController() override;

    QString message;
    int max = 0;
    bool indeterminant = false;
    bool hideStop = false;
    // Called on the main thread when the time-out expires; empty: no time-out.
    std::function<void()> timeoutTarget;
    int timeoutPeriod = 0;

    // Applies the properties to the views and arms the time-out (done once, when first shown).
    void load();
    void step();
    void setMessage(const QString &text);
    // Shows the window modally without blocking; the creator then calls runOnce() per turn.
    void beginModalSession();
    // One turn of the event loop; false once Stop has been pressed.
    bool runOnce();
    void endModalSession();
    bool stopped() const { return m_stopped; }
    int value() const;

    // Milliseconds per time-out second (1000); tests shorten it.
    static void setTimeoutUnitMsForTests(int ms);
    static int timeoutUnitMs();

public Q_SLOTS:
    void actionStop();
    // Escape and closing the window: Stop when the Stop button is shown, ignored otherwise.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void armTimeout();

    QLabel *m_label = nullptr;
    QProgressBar *m_bar = nullptr;
    QPushButton *m_stop = nullptr;
    bool m_loaded = false;
    bool m_stopped = false;
    bool m_inSession = false;
};
