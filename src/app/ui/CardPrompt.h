#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

// The question shown when a card is put in: "Ingest from CARD?", with Open (the chooser fills
// the browser from the card) and Not Now. It does not block the main window; it closes itself
// when answered, and the card handling closes it when the card goes away.
class CardPrompt : public QDialog
{
    Q_OBJECT

public:
    CardPrompt(const QString &question, const QString &mountPoint, QWidget *parent = nullptr);

    QLabel *labelQuestion = nullptr;
    QLabel *labelDetail = nullptr;
    QCheckBox *checkboxOfferCards = nullptr;
    QPushButton *buttonOpen = nullptr;
    QPushButton *buttonNotNow = nullptr;

Q_SIGNALS:
    void openRequested();
    // The "offer cards" box was changed.
    void offerCardsChanged(bool offer);
};
