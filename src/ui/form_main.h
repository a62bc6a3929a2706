#pragma once
// The main window: owns the Simulator and the rack, hosts the panels as child windows, and
// offers the menus, the toolbar and the status bar. It implements the view hooks the scan
// cycle calls, the log box (ShowLog) and, through a replaceable prompt, the questions.
#include <QLabel>
#include <QLockFile>
#include <QMainWindow>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QPointer>

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "hardware/hardware_config.h"
#include "korvane_version.h"
#include "platform/log_sink.h"
#include "qt/qt_prompt.h"
#include "qt/qt_scheduler.h"
#include "sim/panel_models.h"
#include "sim/recent_files.h"
#include "sim/simulator.h"
#include "ui/analog_panels.h"
#include "ui/bit_byte_panel.h"
#include "ui/check_results.h"
#include "ui/form_port.h"
#include "ui/info_dialogs.h"
#include "ui/ladder_view.h"
#include "ui/manual_window.h"
#include "ui/object_view.h"
#include "ui/status_views.h"
#include "ui/timing_view.h"

class QActionGroup;
class QStackedWidget;
class QMdiSubWindow;

namespace korvane {
class QtObjectServer;
}

namespace korvane {

class RackView;

enum class FileDialogKind {
    OpenProgram,
    OpenDataBlock,
    OpenHardware,
    SaveHardware,
    OpenStatusTable,
    SaveStatusTable,
    OpenSymbols,
    ExportVcd,
};

struct FormMainOptions {
    Prompt* prompt = nullptr;            // message boxes when null
    SettingsStore* settings = nullptr;   // QSettings when null
    QString lockPath;                    // the single-instance lock; the temp folder when empty
    // The file dialogs; "" when cancelled. QFileDialog when unset.
    std::function<QString(FileDialogKind, const QString& suggested)> fileDialog;
    // The object link's port: 9215 when unset, unless the environment variable
    // KORVANE_OBJECT_PORT gives another ("off" for none); 0 a free port, -1 no listening.
    std::optional<int> objectPort;
};

// The settings store's section and key of the object link's listening address ("" or
// absent: all interfaces; "127.0.0.1": loopback only).
inline constexpr const char* kObjectLinkSection = "Object Link";
inline constexpr const char* kObjectLinkAddressKey = "Address";
// The settings store's section and key of the real-CPU mode ("1" on; off otherwise).
inline constexpr const char* kSimulationSection = "Simulation";
inline constexpr const char* kRealCpuKey = "RealCpu";

class FormMain : public QMainWindow, public ViewHooks, public LogSink {
    Q_OBJECT
public:
    static constexpr const char* kSecondInstanceCaption = "Korvane107B (有一个实例，本实例不能连接对象）";
    static constexpr const char* kVersionText = "Korvane107B 版本 " KORVANE_VERSION;

    explicit FormMain(FormMainOptions options = {}, QWidget* parent = nullptr);
    ~FormMain() override;

    Simulator& sim() { return *sim_; }
    HardwareConfig& hardware() { return sim_->hardware; }
    RackView* rack() const { return rack_; }
    void setPrompt(Prompt* prompt) { prompt_.setTarget(prompt ? prompt : &qtPrompt_); }

    // --- the log box -------------------------------------------------------------------
    void ShowLog(const std::string& strInfo) override;
    // The box's text with its CR LF line ends.
    const QString& logText() const { return logText_; }
    QPlainTextEdit* codeBox() const { return codeBox_; }
    QPlainTextEdit* logBox() const { return logBox_; }
    bool codeViewIsDb() const { return codeViewDb_; }
    // The ladder view of the loaded program, shown in the code area in place of the listing
    // by btKOP; it stays in step with the listing and the program status view.
    LadderView* ladderView() const { return ladder_; }
    bool codeViewIsLad() const { return codeViewLad_; }

    // --- state ------------------------------------------------------------------------
    bool inputMomentary() const { return momentary_; }
    bool inputsFromObject() const { return fromObject_; }
    void setInputsFromObject(bool on) { fromObject_ = on; }
    std::span<ObjectDigitalPoint> objectInputs() { return objectInputs_; }
    bool secondInstance() const { return secondInstance_; }
    const RecentFiles& recentFiles() const { return recent_; }
    const QString& lastProgramPath() const { return lastProgramPath_; }
    QLabel* statusPanel(int n) const { return statusPanels_.at(static_cast<std::size_t>(n - 1)); }
    // The status bar's mark of the real-CPU mode ("真实CPU时序"), hidden while it is off.
    QLabel* realCpuPanel() const { return realCpuPanel_; }

    // Menu items ("mnuRun") and toolbar keys ("btRun") by name.
    QAction* action(const QString& name) const;

    // --- panels (null once closed) ----------------------------------------------------
    FrmDI* inputPanel() const { return input_; }
    BitBytePanel* outputPanel() const { return output_; }
    BitBytePanel* mPanel() const { return m_; }
    BitBytePanel* vPanel() const { return v_; }
    AnalogPanel* analogPanel() const { return analog_; }
    TimerCounterPanel* timerCounterPanel() const { return tc_; }
    QMdiArea* mdiArea() const { return mdi_; }
    // The start-up layout: the operator panels in a grid without overlaps (see tileWindows),
    // open watch windows placed beside the input panel and each other.
    void arrangePanels();
    void showInputPanel();
    void showOutputPanel();
    void showMPanel();
    void showVPanel();
    void showAnalogPanel();
    void showTimerCounterPanel();
    void showStatusTable();
    void showProgramStatus();
    frmStatusTable* statusTableWindow() const { return statusTable_; }
    frmProgramStatus* programStatusWindow() const { return programStatus_; }
    // The program check's results ("程序检查结果"), made at its first showing.
    void showCheckResults();
    FrmCheckResults* checkResultsWindow() const { return checkResults_; }
    void showObjectView();
    FrmObject* objectView() const { return objectView_; }
    // "时序图": made at its first showing; from then on fed after every program pass.
    void showTimingView();
    TimingView* timingView() const { return timing_; }
    // The port the object link listens on; 0 when it does not listen.
    std::uint16_t objectLinkPort() const;
    InstructionsWindow* instructionsWindow() const { return instructions_; }
    AboutBox* aboutBox() const { return about_; }
    // The port settings dialog ("串口设置"), made at its first showing.
    void showPortSettings();
    FrmPort* portDialog() const { return port_; }

    // --- commands ---------------------------------------------------------------------
    // Loads a program as the recent-file command does (no question, no dialog).
    void loadProgramFile(const QString& path);
    void loadProgramCommand();
    void unloadProgramCommand();
    void loadDataBlockCommand();
    void unloadDataBlockCommand();
    void loadSymbolsCommand();
    void loadHardwareCommand();
    void saveHardwareCommand();
    void showStlView();
    void showDbView();
    void showLadView();
    // Shows a program line in the code view: the STL listing, scrolled to the line of that
    // code-table index, which is selected.
    void showCodeLine(int line);
    void setInputMode(bool momentary);
    void setStayOnTop(bool on);
    // "真实CPU时序": the simulator's mode (the program check weighs timer kinds by it), kept
    // in the settings store; the time base, the status bar and the timer panel follow it.
    void setRealCpuMode(bool on);
    // "上电复位": the CPU as after switching it on with its backup kept (ScanCycle::powerUp).
    void powerUpCommand();
    void showInstructions();
    void showAbout();
    // The user manual in its own window; a message box tells where it was looked for
    // when it is missing.
    void showManual();
    ManualWindow* manualWindow() const { return manual_; }
    void arrangeIcons();
    // The URL of the product web site: the user manual when it is there.
    static QUrl productSite();
    // Where the file dialogs open: the folder of the last program file (of this session, or
    // the newest recent file), else the example programs, else the current folder.
    QString dialogFolder() const;

    // --- view hooks -------------------------------------------------------------------
    void FreshInData() override;
    void FreshOutData() override;
    void FreshShow() override;
    void FreshAllShow() override;
    void statusWritesApplied() override;
    void captionChanged(const std::string& caption) override;
    void codeViewChanged(const std::string& text) override;
    void progressText(const std::string& text) override;
    void scanCountChanged(std::int32_t count) override;
    void runStateChanged(std::int16_t runFlag, Mode mode) override;
    void forceIndicator(bool forced) override;
    std::string chooseProgramFile(const std::string& suggested) override;
    std::string chooseDataBlockFile(const std::string& suggested) override;
    void dataBlockViewShown(const std::string& text) override;
    void checkFindingsChanged(const std::vector<Finding>& findings) override;
    std::optional<bool> inputTerminal(int key) override;
    std::string chooseSymbolFile() override;
    void symbolsChanged() override;

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void buildMenus();
    void buildToolbar();
    void buildCentral();
    void startUp();
    void attachObjectLink();
    void startObjectLink();
    void loadRecentMenu();
    void syncRack();
    void syncRunButtons(Mode mode);
    void updateStatusLamps();
    void showRealCpuMode(bool on);
    // The ladder of the program just loaded, from its file as read again (the listing holds
    // the kept lines only); the ladder stays as it was when no new program was read.
    void convertLadder();
    QWidget* buildLadderPane(QWidget* parent);
    // A network chosen in one view is shown in the others: the listing, the program status
    // view and the ladder view.
    void followCodeLine(int line, QObject* from);
    void setCodeViewChecks();
    void shutDown();
    QString chooseFile(FileDialogKind kind, const QString& suggested);
    QAction* addMenuItem(QMenu* menu, const QString& name, const QString& caption, std::function<void()> slot,
                         bool checkable = false);
    QAction* addTool(const QString& key, const QString& tooltip, std::function<void()> slot, QActionGroup* group = nullptr);
    QMdiSubWindow* addPanel(QWidget* w);
    // Lays child windows out in a grid without overlaps, the input panel first, then the
    // output, analog, M, V and timer/counter panels, then (unless only those) any other
    // visible one: as many columns as fit at the windows' smallest sizes, the rows that fit
    // in view sharing its height, the others below (reached by scrolling).
    void tileWindows(bool operatorPanelsOnly);
    // Puts a newly made watch window where it covers neither the input panel nor the other
    // watch window, at its preferred size or smaller, when the area has room for it.
    void placeWatchWindow(QMdiSubWindow* sub, QSize preferred, QWidget* other);

    FormMainOptions options_;
    QtPrompt qtPrompt_;
    SwitchablePrompt prompt_;
    std::unique_ptr<SettingsStore> ownSettings_;
    SettingsStore* settings_ = nullptr;
    QtScheduler scheduler_;
    // The program's text as the loader last read and decoded it: the ladder is drawn from it,
    // so that the file is read once (a pipe cannot be read twice, a file rewritten meanwhile
    // would not match the loaded program).
    std::string programSource_;
    std::unique_ptr<Simulator> sim_;
    std::unique_ptr<QLockFile> lock_;

    QMdiArea* mdi_ = nullptr;
    RackView* rack_ = nullptr;
    QPlainTextEdit* codeBox_ = nullptr;
    QStackedWidget* codeStack_ = nullptr;
    LadderView* ladder_ = nullptr;
    QPlainTextEdit* logBox_ = nullptr;
    std::array<QLabel*, 3> statusPanels_{};
    QLabel* realCpuPanel_ = nullptr;
    std::array<QAction*, kRecentItems> recentItems_{};
    QAction* recentSeparator_ = nullptr;

    QPointer<FrmDI> input_;
    QPointer<BitBytePanel> output_, m_, v_;
    QPointer<AnalogPanel> analog_;
    QPointer<TimerCounterPanel> tc_;
    QPointer<frmStatusTable> statusTable_;
    QPointer<frmProgramStatus> programStatus_;
    QPointer<FrmCheckResults> checkResults_;
    std::unique_ptr<QtObjectServer> objectServer_;
    QPointer<FrmObject> objectView_;
    QPointer<TimingView> timing_;
    QPointer<InstructionsWindow> instructions_;
    QPointer<AboutBox> about_;
    QPointer<FrmPort> port_;
    QPointer<ManualWindow> manual_;

    QString logText_;
    std::string programText_;
    bool codeViewDb_ = false;
    bool codeViewLad_ = false;
    // Set while one view follows another's choice of a network, so that they do not echo.
    bool followingNetwork_ = false;
    bool unloadingDb_ = false;
    bool momentary_ = false;
    bool fromObject_ = false;
    bool secondInstance_ = false;
    bool running_ = false;
    bool forced_ = false;
    bool shutDown_ = false;
    bool tiled_ = false;
    // Until then the start-up layout follows the area's size (the frame may get its
    // maximised size only after it is first shown).
    qint64 autoArrangeUntil_ = 0;
    std::array<ObjectDigitalPoint, 64> objectInputs_{};
    RecentFiles recent_;
    QString lastProgramPath_;
    QString lastSymbolPath_;  // the symbol dialog's last choice
};

}  // namespace korvane
