#pragma once
// The one object a front end owns: the memory image, the code table and routine tables, the
// interpreter, the program loader with its load and unload commands, and the run state.
// The GUI and korvane-run drive the engine only through it.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "comm/comm_ports.h"
#include "core/code_table.h"
#include "core/flow_control.h"
#include "core/interpreter.h"
#include "core/plc_memory.h"
#include "hardware/hardware_config.h"
#include "loader/data_block.h"
#include "loader/program_check.h"
#include "loader/stl_reader.h"
#include "loader/symbol_table.h"
#include "objectlink/object_link.h"
#include "platform/log_sink.h"
#include "platform/prompt.h"
#include "platform/scheduler.h"
#include "platform/wall_clock.h"
#include "scan/scan_cycle.h"
#include "sim/status_table.h"

namespace korvane {

inline constexpr const char* kProductTitle = "Korvane107B（中国版本）,不能保证与真实PLC完全一致！仅用于教学";

// What the front end shows of the engine. Every hook has a default that does nothing.
class ViewHooks {
public:
    virtual ~ViewHooks() = default;
    virtual void FreshInData() {}
    virtual void FreshOutData() {}
    virtual void FreshShow() {}
    virtual void FreshAllShow() {}
    virtual void InitData() {}
    virtual void captionChanged(const std::string& /*caption*/) {}
    virtual void codeViewChanged(const std::string& /*text*/) {}
    // False for a front end without a code view: the listing is then made only when asked for.
    virtual bool showsCodeText() const { return true; }
    virtual void progressText(const std::string& /*text*/) {}
    virtual void scanCountChanged(std::int32_t /*count*/) {}
    // The run flag or the mode changed: toolbar buttons, the switch picture, RUN/STOP lamps.
    virtual void runStateChanged(std::int16_t /*runFlag*/, Mode /*mode*/) {}
    // Every tenth tick: the SF lamp is yellow while forced values were written, and while
    // the program's DLED has the diagnostic LED on (the two share the lamp).
    virtual void forceIndicator(bool /*forced*/) {}
    // The open-file dialogs of the load commands; "" when cancelled.
    virtual std::string chooseProgramFile(const std::string& /*suggested*/) { return {}; }
    virtual std::string chooseDataBlockFile(const std::string& /*suggested*/) { return {}; }
    // The code view switched to the data-block text (the DB view command).
    virtual void dataBlockViewShown(const std::string& /*text*/) {}
    // The status table's pending values were written: the input and analog panels render
    // from the image at once, as if an object drove them, so that written inputs show.
    virtual void statusWritesApplied() {}
    // The program check ran after a build (its findings are also in the log).
    virtual void checkFindingsChanged(const std::vector<Finding>& /*findings*/) {}
    // The open-file dialog of the symbol-table command; "" when cancelled.
    virtual std::string chooseSymbolFile() { return {}; }
    // A symbol table was loaded or replaced: views that show symbols render again.
    virtual void symbolsChanged() {}
    // The input terminal of the I bit at key as the front end holds it now (a switch of the
    // input panel, the runner's input state), for the immediate reads; nothing when the front
    // end does not hold that input (the inputs' last transfer into the image then counts).
    virtual std::optional<bool> inputTerminal(int /*key*/) { return std::nullopt; }
};

class Simulator : private ScanParticipants, private IoTerminals {
public:
    Simulator(Scheduler& scheduler, LogSink* sink, Prompt* prompt, ViewHooks* views = nullptr);

    // --- parts -------------------------------------------------------------------------
    // The real-time clock runs on the host's local time unless the front end gives the
    // interpreter another clock (interpreter.wallClock), as korvane-run does in simulated time.
    HostClock hostClock;
    Log log;
    PlcMemory memory;
    Program program;
    Interpreter interpreter;
    StlReader reader;
    DataBlock dataBlock;
    HardwareConfig hardware;
    // The status table's rows: the scan cycle writes their pending values and forces them.
    StatusTable statusTable;
    ScanCycle scan;
    // The serial side: made by attachSerial() with the front end's channels (real ports, or
    // the fakes of the tests); absent until then, and a program then runs without ports.
    std::unique_ptr<CommPorts> comm;

    // Builds the six channels from the factory, the protocol timers, the port configuration
    // and the slave protocols, which answer while the run state says so. Replaces any
    // earlier serial side.
    CommPorts& attachSerial(const ChannelFactory& makeChannel);

    // The object link: made by attachObjectLink() on the front end's server (the real one,
    // or the fake of the tests) and the rack whose I/O its points take (ours by default);
    // absent until then. The scan's input and output phases run its transfers.
    std::unique_ptr<ObjectLink> link;
    ObjectLink& attachObjectLink(ObjectServer& server, HardwareConfig* rack = nullptr);

    // --- program load and unload -------------------------------------------------------
    // The load command: questions, the file dialog (ViewHooks::chooseProgramFile), then
    // myLoadCode.
    void loadProgramCommand();
    // Loads the file named by the dialog's file name (nothing is read when it is empty),
    // rebuilds the listing, builds the code table, refreshes the views.
    void myLoadCode();
    // The recent-file command: the path goes into the dialog's file name, then myLoadCode.
    void loadRecentProgram(const std::string& path);
    // The unload command.
    void unloadProgramCommand();

    // The real-CPU mode ("真实CPU时序"): the scan cycle's timing and memory as on the CPU
    // (ScanCycle::setRealCpu); the program check weighs timer kinds by it.
    void setRealCpu(bool on);
    bool realCpu() const { return scan.realCpu(); }

    // The symbol-table command ("载入符号表"): the dialog (ViewHooks::chooseSymbolFile), then
    // loadSymbolFile. In RUN it asks to stop first, as the program load does.
    void loadSymbolsCommand();
    // Loads a symbol table and builds the loaded program again with it, so that symbolic
    // operands resolve. False (with a log line) when the file holds no symbol.
    bool loadSymbolFile(const std::string& path);
    // The symbols programs are resolved through, and the status views show.
    SymbolTable symbols;
    // What the program check found at the last build, in line order.
    const std::vector<Finding>& findings() const { return findings_; }

    // The data-block load command: asks before replacing a loaded data block, shows the
    // dialog (suggesting the program's base name), reads, analyses and writes V memory, and
    // shows the DB view. No run-mode check: a data block may be loaded in RUN.
    void loadDataBlockCommand();
    // The data-block unload command: forgets lines and entries, V memory stays.
    void unloadDataBlockCommand();

    const std::string& dialogFileName() const { return dialogFileName_; }
    void setDialogFileName(std::string path) { dialogFileName_ = std::move(path); }
    const std::string& caption() const { return caption_; }
    // The program lines numbered from 0, each after "\r\n", as the code view shows them.
    const std::string& listing() const;
    const std::string& programBaseName() const { return programBaseName_; }
    bool hasProgram() const { return program.loaded(); }

    // The analog potentiometers, 0 to 255. Like the inputs, every tick's input phase writes
    // them into the image, in RUN and in STOP: SMB28, and SMB29 on a CPU with two of them.
    std::array<std::uint8_t, 2> potentiometers{};

    // --- run state: the run-mode commands are ScanCycle's (sim.scan.continuousRun() ...) -
    bool running() const { return scan.running(); }
    // One program pass outside the scan cycle.
    void runPass() { interpreter.RunExec(0); }

    // The status table's "写一次": while running the next tick writes; while stopped it is
    // written now and the input and analog panels are told.
    void statusWriteOnce() {
        if (statusTable.writeOnce(memory, running()) == StatusTable::WriteOnce::Written) views_->statusWritesApplied();
    }

private:
    // The scan cycle's calls into the other parts.
    bool pendingWrites() override;
    void inputPhase() override;
    bool forceStep() override;
    void outputPhase() override {
        if (link) link->outputTransfer();
        views_->FreshOutData();
    }
    // The terminals of the immediate instructions.
    bool inputTerminal(int key) override;
    void outputsWritten() override;
    void runInterrupts() override { korvane::runInterrupts(interpreter, interruptEdges_); }
    void resetMasters(bool enteringRun) override {
        if (enteringRun) resetInterrupts(interruptEdges_);
        if (comm) comm->masters.resetMasters(enteringRun);
    }
    void freeportPostProcess() override {
        if (comm) comm->masters.freeportPostProcess();
    }
    void refreshViews(bool forced, bool fullRebuild) override;
    void runStateChanged() override { views_->runStateChanged(scan.state().runFlag, scan.state().mode); }
    void scanCountShown(std::int32_t count) override { views_->scanCountChanged(count); }
    std::size_t codeTextLength() const override { return listing().size(); }

    void setCaption(std::string caption);
    void resetProgramState();  // what a load in RUN and an unload reset
    // Builds the code table from the reader's lines and runs the program check.
    void buildAndCheck();

    Prompt* prompt_;
    ViewHooks* views_;
    ViewHooks noViews_;
    InterruptEdges interruptEdges_;
    // The input terminals as the last input phase transferred them, and the inputs forced
    // by the status table (-1 not forced, else 0 or 1): a forced input is forced on its
    // terminal too.
    std::array<std::int16_t, area::Q - area::I> lastInputs_{};
    std::array<std::int8_t, area::Q - area::I> forcedInputs_{};
    std::string dialogFileName_;
    std::string caption_ = kProductTitle;
    // Made from the reader's lines when first asked for after a load (listingStale_).
    mutable std::string listing_;
    mutable bool listingStale_ = false;
    std::string programBaseName_;
    std::vector<Finding> findings_;
};

// Whether a file name ends in ".awl" in any letter case (PROG.AWL, prog.Awl).
bool hasAwlExtension(const std::string& path);

// The file name after its last folder separator and before its last ".".
std::string baseNameOf(const std::string& path);

}  // namespace korvane
