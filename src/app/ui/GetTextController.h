#pragma once

#include <QDialog>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

// The one-line text prompt. A cancelled prompt answers nullopt, also when it had a default.
class GetTextController : public QDialog
{
    Q_OBJECT

public:
    explicit GetTextController(QWidget *parent = nullptr);

    std::optional<QString> message;
    std::optional<QString> title;
    std::optional<QString> buttonLabel;
    // The default text going in, the answer coming out.
    std::optional<QString> name;

    // Applies the properties to the views (done when shown).
    void load();

    static std::optional<QString> get(const QString &prompt);
    static std::optional<QString> get(const QString &prompt, const QString &defaultString,
                                      const QString &buttonLabel);

public Q_SLOTS:
    void actionSave();
    void actionCancel();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QLabel *m_label = nullptr;
    QLineEdit *m_field = nullptr;
    QPushButton *m_confirm = nullptr;
    bool m_loaded = false;
};
