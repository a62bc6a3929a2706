#pragma once
// The object I/O view ("连接的仿真对象"): what the object link exchanges. The declared
// counts, the digital points as hexadecimal bytes, the analog points in mA, and a grid of
// every declared point with the hardware position it was given and its value. It warns about
// points the rack cannot take and offers the disconnect command. It hides when closed until
// the main window sets bRealExit at shutdown.
#include <QLineEdit>
#include <QMainWindow>
#include <QTableWidget>

#include <array>
#include <functional>

#include "objectlink/object_link.h"

namespace korvane {

class FrmObject : public QMainWindow {
    Q_OBJECT
public:
    // statusText: status-bar panel 3 of the main window.
    FrmObject(ObjectLink& link, const Log& log, std::function<void(const QString&)> statusText,
              QWidget* parent = nullptr);

    // Counts, the grid's rows and columns 0 to 5, the disconnect command's state.
    void FreshAllShow();
    // The value fields and grid column 6.
    void FreshShow();
    bool bRealExit = false;

    QAction* action(const QString& name) const;
    std::array<QLineEdit*, 4> txtCount{};  // DI, AI, DO, AO
    std::array<QLineEdit*, 8> txtDI{};
    std::array<QLineEdit*, 8> txtDO{};
    std::array<QLineEdit*, 16> txtAI{};
    std::array<QLineEdit*, 16> txtAO{};
    QTableWidget* grid = nullptr;

protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void setCell(int row, int column, const std::string& text);
    static void setField(QLineEdit* e, const std::string& text);
    void emptyGrid();

    ObjectLink& link_;
    const Log& log_;
    std::function<void(const QString&)> statusText_;
};

}  // namespace korvane
