#pragma once
// The status table window ("监控状态表") bound to the Simulator's row list, and the program
// status view ("监控程序") over the code table. Both hide when closed until the main window
// sets bRealExit at shutdown.
#include <QComboBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QTableWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "sim/simulator.h"

namespace korvane {

// A one-line editor over a grid cell: Enter commits, Esc and the up arrow cancel.
class CellEditor : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;
signals:
    void committed(const QString& text);
    void cancelled(bool moveUp);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
};

class frmStatusTable : public QMainWindow {
    Q_OBJECT
public:
    enum class FileKind { Open, Save };
    // chooseFile: the table file dialogs ("" when cancelled); clipboard: its text, nullopt
    // when it holds none.
    frmStatusTable(Simulator& sim, Prompt& prompt, std::function<QString(FileKind, const QString&)> chooseFile,
                   std::function<std::optional<std::string>()> clipboard, QWidget* parent = nullptr);

    void FreshShow();
    // Rebuilds every row of the grid from the list.
    void rebuild();
    bool bRealExit = false;

    QTableWidget* grid = nullptr;
    QAction* action(const QString& name) const;
    // The commands, by the row under the cursor.
    void readOnce();
    void toggleContinuous();
    void writeOnce();
    void force();
    void unforce();
    void unforceAll();
    void addBefore();
    void addLast();
    void deleteSelected();
    void loadTable();
    void saveTable();
    void pasteSymbols();
    // Double-click behaviour of a cell; editCell opens the editor, commitCell is its Enter.
    void editCell(int row, int column);
    void commitCell(int row, int column, const QString& text);
    CellEditor* editor() const { return editor_; }
    QComboBox* formatList() const { return formatList_; }

protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void renderRow(int i);
    void setCell(int row, int column, const std::string& text);
    void closeEditors();
    void stayOnTop(bool on);

    Simulator& sim_;
    Prompt& prompt_;
    std::function<QString(FileKind, const QString&)> chooseFile_;
    std::function<std::optional<std::string>()> clipboard_;
    CellEditor* editor_ = nullptr;
    QComboBox* formatList_ = nullptr;
};

class frmProgramStatus : public QMainWindow {
    Q_OBJECT
public:
    explicit frmProgramStatus(Simulator& sim, QWidget* parent = nullptr);
    void FreshAllShow();
    void FreshShow();
    bool bRealExit = false;

    QTableWidget* grid = nullptr;
    // The line-number column laid over the grid's left edge, so that it stays in view while
    // the other seven columns scroll sideways; it shows the grid's own cells.
    QTableView* frozen = nullptr;
    QLineEdit* txtState = nullptr;
    QLineEdit* txtCount = nullptr;
    QAction* action(const QString& name) const;

protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void freezeFirstColumn();
    void placeFrozenColumn();
    // What the cells of columns 3 to 7 of a row were last written from, so that a line
    // whose status has not changed since costs one comparison and no text at all.
    struct ShownStatus {
        bool known = false;  // false: the cells are not known to match the fields below
        bool hasStatus = false;
        int operands = 0;
        std::array<double, 3> value{};
        std::array<std::int16_t, 3> kind{};
        std::array<char, 4> stack{};
        std::int16_t flow = 0;
    };
    void setCell(int row, int column, const std::string& text);
    void showStatus(int row, const LineStatus& line);
    Simulator& sim_;
    std::vector<ShownStatus> shown_;
    // The operand counts are written by a rebuild at a refresh with counter 2; when no
    // refresh fell on that count, the next refresh of a counted run does the rebuild.
    bool countedRebuild_ = false;
    std::int32_t lastCount_ = 0;
};

// Keeps an MDI child (or a top-level window) above the others, or ends that.
void setChildOnTop(QWidget* w, bool on);
// The status views hide instead of closing until the program exits (bRealExit).
void hideUnlessExiting(QWidget* w, QCloseEvent* e, bool realExit);

}  // namespace korvane
