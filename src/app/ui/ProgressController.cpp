#include "app/ui/ProgressController.h"

#include "platform/UserInterface.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>

namespace {

std::atomic<int> g_unitMs{1000};

// Lives on the main thread and receives the time-outs of every worker. Its destructor (when the
// application object goes away) stops the workers that still run, so none outlives it.
class TimeoutHub : public QObject
{
public:
    static TimeoutHub *instance()
    {
        static QPointer<TimeoutHub> hub;
        if (!hub)
            hub = new TimeoutHub(QCoreApplication::instance());
        return hub;
    }

    void arm(int periodMs, std::function<void()> target)
    {
        auto *worker = QThread::create([this, periodMs, target] {
            // The worker's own event loop delivers the time-out, then lives on for twice the
            // period as designed, then ends.
            QEventLoop loop;
            QTimer::singleShot(periodMs, [this, target] {
                QMetaObject::invokeMethod(this, target, Qt::QueuedConnection);
            });
            QTimer::singleShot(2 * periodMs, &loop, &QEventLoop::quit);
            loop.exec();
        });
        worker->setObjectName(QStringLiteral("progress-timeout"));
        m_workers.append(worker);
        connect(worker, &QThread::finished, this, [this, worker] {
            m_workers.removeAll(worker);
            worker->deleteLater();
        });
        worker->start();
    }

    ~TimeoutHub() override
    {
        for (QThread *worker : std::as_const(m_workers)) {
            worker->requestInterruption();
            // exit() ends every event loop running in that thread, the worker's own included.
            worker->exit();
            worker->wait(3000);
        }
    }

private:
    explicit TimeoutHub(QObject *parent) : QObject(parent) {}
    QList<QThread *> m_workers;
};

} // namespace

void ProgressController::setTimeoutUnitMsForTests(int ms)
{
    g_unitMs.store(ms);
}

int ProgressController::timeoutUnitMs()
{
    return g_unitMs.load();
}

ProgressController::ProgressController(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Progress"));
    setWindowTitle(QStringLiteral("Brindlewick"));
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("labelMessage"));
    m_label->setWordWrap(true);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("progressBar"));
    m_bar->setTextVisible(false);
    m_stop = new QPushButton(QStringLiteral("Stop"), this);
    m_stop->setObjectName(QStringLiteral("buttonStop"));
    connect(m_stop, &QPushButton::clicked, this, &ProgressController::actionStop);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_bar);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_stop);
    layout->addLayout(buttons);
    resize(420, 130);
}

ProgressController::~ProgressController() = default;

void ProgressController::load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    m_label->setText(message);
    m_stop->setVisible(!hideStop);
    m_bar->setRange(0, max);
    m_bar->setValue(0);
    if (indeterminant) {
        m_bar->hide();
        layout()->setSizeConstraint(QLayout::SetNoConstraint);
        setFixedHeight(90);
    }
    if (const QScreen *screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    armTimeout();
}

void ProgressController::armTimeout()
{
    if (!timeoutTarget)
        return;
    timeoutPeriod = UserInterface::effectiveTimeout(timeoutPeriod);
    TimeoutHub::instance()->arm(timeoutPeriod * g_unitMs.load(), timeoutTarget);
}

void ProgressController::step()
{
    m_bar->setValue(qMin(m_bar->value() + 1, m_bar->maximum()));
}

int ProgressController::value() const
{
    return m_bar->value();
}

void ProgressController::setMessage(const QString &text)
{
    message = text;
    m_label->setText(text);
}

void ProgressController::actionStop()
{
    m_stopped = true;
    // A blocking run ends here; a driven session notices at its next turn and ends the window
    // itself once the current file is done.
    if (!m_inSession && isModal() && isVisible())
        QDialog::reject();
}

void ProgressController::reject()
{
    // Escape and the window's close button: Stop where Stop is offered, nothing otherwise. The
    // window never goes away on its own while its owner still works.
    if (!hideStop)
        actionStop();
}

void ProgressController::beginModalSession()
{
    m_inSession = true;
    setWindowModality(Qt::ApplicationModal);
    show();
    QCoreApplication::processEvents();
}

bool ProgressController::runOnce()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return !m_stopped;
}

void ProgressController::endModalSession()
{
    m_inSession = false;
    hide();
}

void ProgressController::showEvent(QShowEvent *event)
{
    load();
    QDialog::showEvent(event);
}
