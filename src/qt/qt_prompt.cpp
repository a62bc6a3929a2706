#include "qt/qt_prompt.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace korvane {

namespace {
const QString kTitle = QStringLiteral("Korvane107B");

bool isOnTop(const QWidget* w) {
    return w && w->isWindow() && w->isVisible() && (w->windowType() == Qt::Window || w->windowType() == Qt::Dialog) &&
           (w->windowFlags() & Qt::WindowStaysOnTopHint);
}

// A message box over the right window, itself above the others when that window is.
int showBox(QWidget* parent, QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons,
            QMessageBox::StandardButton defaultButton) {
    QWidget* owner = dialogParent(parent);
    QMessageBox box(icon, kTitle, text, buttons, owner);
    box.setDefaultButton(defaultButton);
    if (isOnTop(owner ? owner->window() : nullptr)) box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    return box.exec();
}
}  // namespace

QWidget* dialogParent(QWidget* fallback) {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    if (QWidget* active = QApplication::activeWindow(); isOnTop(active)) return active;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (isOnTop(w)) return w;
    return fallback;
}

bool QtPrompt::ask(const std::string& question) {
    return showBox(parent_, QMessageBox::Question, QString::fromStdString(question),
                   QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok) == QMessageBox::Ok;
}

void QtPrompt::inform(const std::string& message) {
    showBox(parent_, QMessageBox::Information, QString::fromStdString(message), QMessageBox::Ok, QMessageBox::Ok);
}

std::optional<std::string> QtPrompt::input(const std::string& prompt, const std::string& title,
                                           const std::string& defaultText) {
    bool ok = false;
    const QString text = QInputDialog::getText(dialogParent(parent_), QString::fromStdString(title), QString::fromStdString(prompt),
                                               QLineEdit::Normal, QString::fromStdString(defaultText), &ok);
    if (!ok) return std::nullopt;
    return text.toStdString();
}

}  // namespace korvane
