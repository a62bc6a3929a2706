#pragma once
// The program check's results ("程序检查结果"): one row per finding of the last build, with
// its line number in the file, the program line and the message, under the summary line.
// Choosing a row (a click, or Enter) asks the main window to show that line in the code
// view. It hides when closed until the main window sets bRealExit at shutdown.
#include <QLabel>
#include <QMainWindow>
#include <QTableWidget>

#include <vector>

#include "loader/program_check.h"

namespace korvane {

// The summary as the window and the status bar show it: the log's text without its
// leading blank ("程序检查：发现3处问题", "程序检查：没有发现问题").
QString checkSummaryCaption(std::size_t count);

class FrmCheckResults : public QMainWindow {
    Q_OBJECT
public:
    explicit FrmCheckResults(QWidget* parent = nullptr);

    // Replaces the rows with the findings of a build.
    void showFindings(const std::vector<Finding>& findings);
    bool bRealExit = false;

    QLabel* summary = nullptr;
    QTableWidget* grid = nullptr;

signals:
    // The code-table index of the chosen row's line.
    void lineChosen(int line);

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void choose(int row);
    std::vector<int> lines_;  // the code-table index of each row
};

}  // namespace korvane
