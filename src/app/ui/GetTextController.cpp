#include "app/ui/GetTextController.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

GetTextController::GetTextController(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("GetText"));
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("labelMessage"));
    m_field = new QLineEdit(this);
    m_field->setObjectName(QStringLiteral("textField"));
    m_confirm = new QPushButton(this);
    m_confirm->setObjectName(QStringLiteral("buttonSave"));
    m_confirm->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("buttonCancel"));
    connect(m_confirm, &QPushButton::clicked, this, &GetTextController::actionSave);
    connect(cancel, &QPushButton::clicked, this, &GetTextController::actionCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_field);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(m_confirm);
    layout->addLayout(buttons);
    setMinimumWidth(340);
}

void GetTextController::load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    m_field->setText(name.value_or(QString()));
    // From here on `name` is the answer: none unless confirmed.
    name.reset();
    m_label->setText(message.value_or(QString()));
    m_confirm->setText(buttonLabel.value_or(QStringLiteral("Save")));
    setWindowTitle(title.value_or(QStringLiteral("Enter Text")));
}

void GetTextController::showEvent(QShowEvent *event)
{
    load();
    QDialog::showEvent(event);
}

void GetTextController::actionSave()
{
    name = m_field->text();
    actionCancel();
}

void GetTextController::actionCancel()
{
    done(name ? QDialog::Accepted : QDialog::Rejected);
    close();
}

std::optional<QString> GetTextController::get(const QString &prompt)
{
    return get(prompt, QString(), QStringLiteral("Enter"));
}

std::optional<QString> GetTextController::get(const QString &prompt, const QString &defaultString,
                                              const QString &buttonLabel)
{
    GetTextController controller(QApplication::activeWindow());
    controller.message = prompt;
    controller.title = QString();
    controller.buttonLabel = buttonLabel;
    controller.name = defaultString;
    controller.exec();
    return controller.name;
}
