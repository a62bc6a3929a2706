#include "qt/qt_prompt.h"

#include <QInputDialog>
#include <QMessageBox>

namespace korvane {

namespace {
const QString kTitle = QStringLiteral("Korvane107B");
}

bool QtPrompt::ask(const std::string& question) {
    return QMessageBox::question(parent_, kTitle, QString::fromStdString(question), QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Ok) == QMessageBox::Ok;
}

void QtPrompt::inform(const std::string& message) {
    QMessageBox::information(parent_, kTitle, QString::fromStdString(message));
}

std::optional<std::string> QtPrompt::input(const std::string& prompt, const std::string& title,
                                           const std::string& defaultText) {
    bool ok = false;
    const QString text = QInputDialog::getText(parent_, QString::fromStdString(title), QString::fromStdString(prompt),
                                               QLineEdit::Normal, QString::fromStdString(defaultText), &ok);
    if (!ok) return std::nullopt;
    return text.toStdString();
}

}  // namespace korvane
