#pragma once
// The ladder view ("LAD梯形图"): the loaded program's networks one under another as the
// ladder the student drew, with the left power rail, contacts, coils and boxes, and while the
// program runs the power flow as the lines recorded it: a closed contact, an energised coil
// and an enabled box in the highlight colour, box pins with their current values.
//
// The view draws a ladder::Program made by the conversion; it reads the running program
// only through lineStatus, on the same tenth-tick rhythm as the program status view, and
// repaints only when something it shows has changed.
#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QHash>
#include <QStaticText>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

#include "loader/ladder_graph.h"
#include "sim/simulator.h"

class QLabel;

namespace korvane {

class LadderView : public QAbstractScrollArea {
    Q_OBJECT
public:
    // MicroWIN draws power flow in blue.
    static inline const QColor kHighlight{0, 0, 255};
    static constexpr double kMinZoom = 0.5;
    static constexpr double kMaxZoom = 2.5;

    explicit LadderView(Simulator& sim, QWidget* parent = nullptr);

    // The ladder to show, and the reader's kept lines' file line numbers, which give each
    // network's header line in the code table (for choosing networks by code line).
    void setLadder(ladder::Program program, const std::vector<int>& keptFileLines);
    const ladder::Program& ladder() const { return program_; }
    // The symbol table changed: operand texts are laid out again.
    void symbolsChanged();

    // The tenth-tick refresh: reads the visible elements' status and repaints only when it
    // differs from what was drawn last.
    void FreshShow();
    // Forgets what was drawn, so that the next refresh repaints.
    void FreshAllShow();
    // How many refreshes found a change and asked for a repaint.
    int repaintsRequested() const { return repaints_; }

    double zoom() const { return zoom_; }
    void setZoom(double zoom);
    void zoomIn();
    void zoomOut();

    // Networks are addressed by their block and their position in it.
    struct NetworkRef {
        int block = -1;
        int network = -1;
        bool valid() const { return block >= 0 && network >= 0; }
        bool operator==(const NetworkRef&) const = default;
    };
    NetworkRef selected() const { return selected_; }
    // Selects a network and scrolls it into view (emits nothing).
    void selectNetwork(NetworkRef ref);
    // The network a code-table line belongs to (its header line, its instructions, the
    // lines up to the next network); invalid when none.
    NetworkRef networkOfLine(int codeLine) const;
    // The code-table line of a network's header ("Network 3"), or its first instruction
    // line when the header's line is not known; -1 when none.
    int headerLine(NetworkRef ref) const;
    // Selects the network holding a code-table line (emits nothing).
    void showCodeLine(int codeLine);
    // Where a network lies in the view's content (unscrolled, at the current zoom).
    QRect networkRect(NetworkRef ref) const;
    // Scrolls so that a network's top is at the view's top.
    void scrollToNetwork(NetworkRef ref);

    // What an element shows now: lit when it is drawn in the highlight colour (a contact
    // that conducts, an energised coil, an enabled box), enoLit when a box's ENO is, and the
    // value texts of a box's pins (by Pin::operandIndex, as the program status view shows
    // them; empty while no status is shown).
    struct ElementState {
        bool lit = false;
        bool enoLit = false;
        std::array<QString, 3> values;
    };
    ElementState elementState(NetworkRef ref, int element) const;
    // An element's operand as drawn ("symbol:address" with a symbol table); a box's own.
    QString operandText(NetworkRef ref, int element) const;
    // Whether status is shown at all: the program has run at least one pass since the
    // ladder was set (seen by a refresh or a repaint).
    bool statusShown() const;

signals:
    // The user chose a network (a click): its header's code-table line.
    void networkChosen(int codeLine);
    void zoomChanged(double zoom);

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // Texts and geometry of one network at the current zoom.
    struct ElementLayout {
        QString operand, operand2, symbol;
        std::vector<QString> inNames, inOperands, outNames, outOperands;
        int leftZone = 0, bodyWidth = 0, rightZone = 0;  // boxes
    };
    struct NetworkLayout {
        NetworkRef ref;
        int top = 0;       // content y of the network's first pixel
        int height = 0;
        int gridTop = 0;   // content y of row 0
        int headerLine = -1;
        int rows = 1;      // the grid's rows, counting every element's height
        std::vector<int> colX;  // content x of each column's left edge, and the right edge
        std::vector<ElementLayout> elements;
        QString heading;
        // Before a block's first network: the block's title and comment.
        QString blockHeading;
        std::vector<QString> blockComment;
        int headingTop = 0;  // content y of the "网络 N" line
        std::vector<QString> comment;
        std::vector<QString> stl;
        QString reason;
    };
    // One visible element's state as last drawn, to find changes cheaply.
    struct ShownState {
        bool lit = false;
        bool eno = false;
        std::array<double, 3> value{};
        std::array<std::int16_t, 3> kind{};
        bool operator==(const ShownState&) const = default;
    };

    void relayout();
    void layoutNetwork(NetworkLayout& nl, const ladder::Network& n, int top);
    void updateScrollBars();
    QString displayOperand(const std::string& operand) const;
    const ladder::Network* networkAt(NetworkRef ref) const;
    const NetworkLayout* layoutOf(NetworkRef ref) const;
    // The index range of layouts that intersect content rows [y0, y1).
    std::pair<std::size_t, std::size_t> visibleRange(int y0, int y1) const;
    ShownState stateOf(const ladder::Element& el, bool statusOn) const;
    void collectVisible(std::vector<ShownState>& out) const;
    void drawNetwork(QPainter& p, const NetworkLayout& nl, const ladder::Network& n, bool statusOn) const;
    void drawElement(QPainter& p, const NetworkLayout& nl, const ladder::Element& el, const ElementLayout& lay,
                     bool statusOn) const;
    void drawCached(QPainter& p, const QRect& r, int flags, const QString& t) const;
    int px(double v) const { return static_cast<int>(v * zoom_ + 0.5); }

    Simulator& sim_;
    ladder::Program program_;
    std::vector<int> headerLines_;  // per network in program order: header code line
    std::vector<NetworkLayout> layouts_;
    int contentWidth_ = 0;
    int contentHeight_ = 0;
    double zoom_ = 1.0;
    QFont font_, boldFont_, monoFont_;
    NetworkRef selected_;
    std::vector<ShownState> shown_;
    std::vector<ShownState> scratch_;  // the refresh's reading, kept to reuse its memory
    std::pair<std::size_t, std::size_t> shownRange_{0, 0};
    bool shownStatusOn_ = false;
    bool shownKnown_ = false;
    int repaints_ = 0;
    mutable bool ranSinceLoad_ = false;
    mutable std::array<QHash<QString, QStaticText>, 3> textCache_;  // normal, bold, fixed-width
};

}  // namespace korvane
