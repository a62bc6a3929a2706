#pragma once
// The instructions window ("说明") and the about box ("关于软件").
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QUrl>

namespace korvane {

class InstructionsWindow : public QDialog {
    Q_OBJECT
public:
    explicit InstructionsWindow(QWidget* parent = nullptr);
    // The paragraphs joined by CR LF.
    static QString text();
    QPlainTextEdit* txtInfo = nullptr;
};

class AboutBox : public QDialog {
    Q_OBJECT
public:
    AboutBox(const QUrl& site, QWidget* parent = nullptr);
    QLabel* lbLink = nullptr;
};

// Centred horizontally, 20 pixels above the vertical centre of the screen.
void placeAboveCentre(QWidget* w);

}  // namespace korvane
