#pragma once
// The user manual (Markdown with its pictures) in a window of its own.
#include <QTextBrowser>
#include <QWidget>

namespace korvane {

class ManualWindow : public QWidget {
    Q_OBJECT
public:
    explicit ManualWindow(const QString& path, QWidget* parent = nullptr);
    QTextBrowser* browser = nullptr;
};

}  // namespace korvane
