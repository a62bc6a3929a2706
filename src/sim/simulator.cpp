#include "sim/simulator.h"

#include <algorithm>
#include <exception>

#include "loader/code_builder.h"

namespace korvane {

namespace {
bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

constexpr int kSMB28 = area::SM + 8 * 28;
constexpr int kSMB29 = area::SM + 8 * 29;

// The interrupt queue depths of a CPU model: the communication queue holds 4 occurrences on
// the one-port CPUs (221, 222, 224) and 8 on the two-port ones (224XP, 226); the I/O queue
// 16 and the timed queue 8 on all.
InterruptQueueDepths queueDepthsOf(const CatalogueEntry& cpu) {
    InterruptQueueDepths d;
    d.communication = cpu.ports >= 2 ? 8 : 4;
    d.io = 16;
    d.timed = 8;
    return d;
}

}  // namespace

bool hasAwlExtension(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return tail == ".awl";
}

std::string baseNameOf(const std::string& path) {
    // Paths from Windows exports use "\", ours "/": both separate folders.
    auto slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    auto dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

Simulator::Simulator(Scheduler& scheduler, LogSink* sink, Prompt* prompt, ViewHooks* views)
    : log(sink),
      memory(&log),
      interpreter(memory, program, log),
      scan(scheduler, interpreter, *prompt, *this, log),
      prompt_(prompt),
      views_(views ? views : &noViews_) {
    interpreter.onScanCount = [this](std::int32_t n) { views_->scanCountChanged(n); };
    interpreter.wallClock = &hostClock;
    interpreter.terminals = this;
    forcedInputs_.fill(-1);
    hardware.setPrompt(prompt_);
    hardware.setRunningQuery([this] { return running(); });
    hardware.subscribe([this] {
        statusTable.setVMemoryBytes(hardware.vMemoryBytes());
        interpreter.interruptQueue.setDepths(queueDepthsOf(hardware.cpu()));
    });
    statusTable.setVMemoryBytes(hardware.vMemoryBytes());
    interpreter.interruptQueue.setDepths(queueDepthsOf(hardware.cpu()));
    reader.onProgress = [this](int i, int last) {
        views_->progressText("代码载入进度：" + std::to_string(i) + " /" + std::to_string(last));
    };
}

CommPorts& Simulator::attachSerial(const ChannelFactory& makeChannel) {
    interpreter.ports = nullptr;
    interpreter.libraries = nullptr;
    comm.reset();
    comm = std::make_unique<CommPorts>(scan.scheduler(), memory, log, makeChannel, [this] { return running(); });
    // The master port's protocols serve NETR, NETW, XMT, RCV and the library calls; without a
    // serial side those instructions do nothing.
    interpreter.ports = &comm->masters;
    interpreter.libraries = &comm->masters;
    comm->masters.uss.bind(&interpreter);
    comm->masters.free.onInterruptEvent = [this](int event, std::uint8_t character) {
        raiseInterrupt(interpreter, event, character);
    };
    if (running()) comm->masters.resetMasters(true);  // attached in RUN: the PPI worker runs
    return *comm;
}

ObjectLink& Simulator::attachObjectLink(ObjectServer& server, HardwareConfig* rack) {
    link.reset();
    link = std::make_unique<ObjectLink>(server, memory, rack ? *rack : hardware, log, prompt_, &scan.scheduler());
    return *link;
}

void Simulator::setCaption(std::string caption) {
    caption_ = std::move(caption);
    views_->captionChanged(caption_);
}

void Simulator::resetProgramState() {
    views_->codeViewChanged("");
    dialogFileName_.clear();
    program.resetCodeTable(1);
    reader.edgeCounter = 0;
    setCaption(kProductTitle);
    dataBlock.unload();
    listing_.clear();
    listingStale_ = false;
    findings_.clear();
    views_->checkFindingsChanged(findings_);
}

void Simulator::loadProgramCommand() {
    try {
        if (running()) {
            if (!prompt_->ask("程序在运行，停止？")) return;
            resetProgramState();
            scan.stop();
        }
        if (!listing().empty() && hasAwlExtension(dialogFileName_)) {
            if (!prompt_->ask("可能已经有程序，继续则覆盖该程序，继续？")) return;
        }
        dialogFileName_.clear();
        dialogFileName_ = views_->chooseProgramFile("");
        // The label table is cleared only once a file has been chosen: a load cancelled at a
        // question or in the dialog keeps the program, and its jumps need their labels.
        if (!dialogFileName_.empty()) program.clearLabels();
        myLoadCode();
    } catch (const std::exception&) {
        log.stamped(" 打开用户AWL文件错误");
    } catch (const PlcFault&) {
        log.stamped(" 打开用户AWL文件错误");
    }
}

void Simulator::loadRecentProgram(const std::string& path) {
    dialogFileName_ = path;
    myLoadCode();
}

void Simulator::myLoadCode() {
    if (!dialogFileName_.empty()) {
        reader.edgeCounter = 0;
        if (!reader.loadcode(dialogFileName_, program, log)) {
            // Say what is wrong with the file; a text without a program is ignored quietly.
            const std::string message = programFileProblemMessage(reader.problem(), dialogFileName_);
            if (!message.empty() && prompt_) prompt_->inform(message);
        }
        setCaption(std::string(kProductTitle) + " [程序路径]：" + dialogFileName_);
    }
    listing_.clear();
    listingStale_ = true;
    // Exports from Windows may carry the extension in capitals (PROG.AWL): built all the same.
    if (hasAwlExtension(dialogFileName_) && reader.lines.size() > 1) buildAndCheck();
    views_->FreshAllShow();
    if (views_ != &noViews_ && views_->showsCodeText()) views_->codeViewChanged(listing());
    // A cancelled dialog keeps the loaded program, and with it its name; with no program
    // there is no name.
    if (!dialogFileName_.empty() || !hasProgram()) programBaseName_ = baseNameOf(dialogFileName_);
}

const std::string& Simulator::listing() const {
    if (!listingStale_) return listing_;
    listingStale_ = false;
    std::size_t listingSize = 0;
    listingSize = reader.lines.textSize() + 16 * reader.lines.size();
    listing_.clear();
    listing_.reserve(listingSize);
    for (std::size_t i = 0; i < reader.lines.size(); ++i) {
        listing_ += "\r\n";
        listing_ += std::to_string(i);
        listing_ += "      ";
        listing_ += reader.lines[i];
    }
    return listing_;
}

void Simulator::buildAndCheck() {
    BuildInputs inputs;
    inputs.symbols = &symbols;
    inputs.declarationNames = &reader.declarationNames;
    AnalyseCode(reader.lines, program, memory, log, inputs);
    // A failed read of an unloaded program leaves nothing to check.
    if (!program.loaded()) {
        findings_.clear();
        views_->checkFindingsChanged(findings_);
        return;
    }
    findings_ = CheckProgram(program, reader.lines, reader.fileLines, scan.realCpu());
    if (log.enabled())
        for (const Finding& f : findings_) log.stamped(findingLogText(f));
    log.stamped(checkSummaryText(findings_.size()));
    views_->checkFindingsChanged(findings_);
}

void Simulator::setRealCpu(bool on) {
    if (scan.realCpu() == on) return;
    scan.setRealCpu(on);
    // A timer used as the wrong kind turns from a warning into an error, or back.
    if (!program.loaded() || findings_.empty()) return;
    findings_ = CheckProgram(program, reader.lines, reader.fileLines, on);
    views_->checkFindingsChanged(findings_);
}

void Simulator::loadSymbolsCommand() {
    if (running()) {
        if (!prompt_->ask("程序在运行，停止？")) return;
        scan.stop();
    }
    const std::string path = views_->chooseSymbolFile();
    if (!path.empty()) loadSymbolFile(path);
}

bool Simulator::loadSymbolFile(const std::string& path) {
    if (!symbols.loadFile(path)) {
        log.stamped(" 载入符号表错误：" + path);
        return false;
    }
    log.plain("载入符号表文件：" + path + "，共" + std::to_string(symbols.entries().size()) + "个符号");
    for (int n : symbols.skippedLines()) log.stamped(" 符号表第" + std::to_string(n) + "行没有地址，已跳过");
    views_->symbolsChanged();
    // The loaded program is built again, so that its symbols resolve through the new table.
    if (hasProgram() && !running() && hasAwlExtension(dialogFileName_)) {
        buildAndCheck();
        views_->FreshAllShow();
    }
    return true;
}

void Simulator::unloadProgramCommand() {
    if (running()) {
        if (!prompt_->ask("程序在运行，停止,然后继续卸载？")) return;
        scan.stop();
    }
    resetProgramState();
    programBaseName_.clear();
}

void Simulator::loadDataBlockCommand() {
    // Asked only when a data block file is held, so that loading the first one asks nothing.
    if (endsWith(dataBlock.fileName(), ".txt") &&
        !prompt_->ask("可能已经有数据块，继续则覆盖该程序，继续？"))
        return;
    dataBlock.setFileName(programBaseName_);
    const std::string path = views_->chooseDataBlockFile(programBaseName_);
    if (dataBlock.load(path, memory, *prompt_, log)) views_->dataBlockViewShown(dataBlock.viewText());
}

void Simulator::unloadDataBlockCommand() {
    dataBlock.unload();
    views_->dataBlockViewShown(dataBlock.viewText());
}

bool Simulator::pendingWrites() {
    if (!statusTable.applyRequestedWrites(memory)) return false;
    views_->statusWritesApplied();
    return true;
}

namespace {

// The image cells [from, to) of a valid forced row that lie inside [first, end).
struct CellRun {
    int from = 0, to = 0;
};
CellRun forcedCells(const StatusRow& r, int first, int end) {
    if (!r.valid || !r.forced || r.width() == 0) return {};
    return {std::max(r.key(), first), std::min(r.key() + r.width(), end)};
}

}  // namespace

void Simulator::inputPhase() {
    views_->FreshInData();
    if (link) link->inputTransfer();
    memory.tobit(potentiometers[0], kSMB28, 8);
    if (hardware.cpu().potentiometers >= 2) memory.tobit(potentiometers[1], kSMB29, 8);
    const std::int16_t* c = memory.cells();
    std::copy(c + area::I, c + area::Q, lastInputs_.begin());
}

bool Simulator::forceStep() {
    const bool wrote = statusTable.forceStep(memory);
    // The force step has just written the forced values: the forced inputs are noted with
    // them for the input terminals.
    forcedInputs_.fill(-1);
    if (wrote) {
        const std::int16_t* c = memory.cells();
        for (const StatusRow& r : statusTable.rows()) {
            const CellRun run = forcedCells(r, area::I, area::Q);
            for (int k = run.from; k < run.to; ++k) forcedInputs_[static_cast<std::size_t>(k - area::I)] = c[k] ? 1 : 0;
        }
    }
    return wrote;
}

// Forced first, then the object while it drives the inputs, then the front end, and for an
// input none of them holds the value the last input phase transferred.
bool Simulator::inputTerminal(int key) {
    if (key < area::I || key >= area::Q) return memory.cell(key) != 0;
    const auto i = static_cast<std::size_t>(key - area::I);
    if (forcedInputs_[i] >= 0) return forcedInputs_[i] != 0;
    if (link) {
        if (const std::optional<bool> on = link->inputTerminal(key)) return *on;
    }
    if (const std::optional<bool> on = views_->inputTerminal(key)) return *on;
    return lastInputs_[i] != 0;
}

// An immediate write reaches the output terminals as the output phase does, with forced
// outputs keeping their forced values.
void Simulator::outputsWritten() {
    for (const StatusRow& r : statusTable.rows())
        if (const CellRun run = forcedCells(r, area::Q, area::M); run.from < run.to) StatusTable::writeRow(memory, r);
    outputPhase();
}

void Simulator::refreshViews(bool forced, bool fullRebuild) {
    // SF and the diagnostic LED share the yellow lamp: it lights while values are forced or
    // while the program's DLED has switched the LED on.
    views_->forceIndicator(forced || interpreter.diagLed);
    if (fullRebuild) views_->FreshAllShow();
    views_->FreshShow();
}

}  // namespace korvane
