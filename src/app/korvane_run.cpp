// korvane-run: the headless front end. Loads an STL program as the load command does, puts
// the CPU in a run mode and runs the scan cycle in simulated time (as fast as the machine
// allows) or paced by the wall clock, then prints watched addresses.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "hardware/hardware_file.h"
#include "korvane_version.h"
#include "loader/ladder_graph.h"
#include "platform/file_read.h"
#include "platform/log_sink.h"
#include "platform/prompt.h"
#include "platform/scheduler.h"
#include "platform/wall_clock.h"
#include "posix/descriptor_wait.h"
#include "posix/run_object_link.h"
#include "posix/runner_ports.h"
#include "sim/address.h"
#include "sim/grading.h"
#include "sim/run_script.h"
#include "sim/runner_inputs.h"
#include "sim/script_player.h"
#include "sim/test_report.h"
#include "sim/simulator.h"
#include "sim/vcd_writer.h"

using namespace korvane;

namespace {

const char* kUsage =
    "usage: korvane-run PROGRAM.awl [options]\n"
    "  --scans N          stop after N program passes (default 1, or N for --mode count:N)\n"
    "  --ms N             simulate N ms, then stop (with --scans: whichever comes first)\n"
    "  --mode MODE        run (default), first, single, slow, count:N\n"
    "  --period MS        task period, 10 to 3000 in steps of 10 (default 50)\n"
    "  --timebase MS      timer base, 30 to 1000 in steps of 5 (default 80)\n"
    "  --db FILE          load a data block once the CPU is in RUN\n"
    "  --set ADDR=VALUE   I and AIW addresses and the potentiometers SMB28, SMB29 set the\n"
    "                     runner's inputs, which every tick takes into the image; other\n"
    "                     addresses are written once before the first tick\n"
    "  --script FILE      timed events: '<ms> set ADDR VALUE', '<ms> expect ADDR VALUE'\n"
    "                     (VALUE may be a range LOW..HIGH), '<ms> mode MODE'; checks over\n"
    "                     time: 'A..B always COND', 'A..B never COND' after every pass in\n"
    "                     [A, B] ms (COND: addresses, ADDR=VALUE, with & | ! and parentheses);\n"
    "                     'expect BIT rises L..H', 'expect BIT falls L..H': the first edge\n"
    "                     after the line before's time comes in a pass in [L, H] ms; '#' at\n"
    "                     the start of a line or after a blank starts a comment (16#FF is a\n"
    "                     value); a script with a bad line is refused before the run\n"
    "  --junit FILE       write the checks as JUnit XML (a testcase per check line)\n"
    "  --tap              print the checks as TAP version 13 at the end, without FAIL lines\n"
    "  --grade SCRIPT PROGRAM...\n"
    "                     run the script against every program, each in a fresh simulator,\n"
    "                     and print a table: program, checks passed/total, program check\n"
    "                     findings, first failure; a program that does not load is a row.\n"
    "                     Runs for --ms, else as long as the script's last time; with --junit\n"
    "                     one testsuite per program; with --tap the table goes to stderr\n"
    "  --jobs N           programs run at once by --grade (default 2)\n"
    "  --hw FILE          apply a hardware configuration (.hd) before running\n"
    "  --symbols FILE     a symbol table (tab-separated lines: symbol, address, comment) that\n"
    "                     resolves the program's symbolic operands\n"
    "  --check            check the program and print what will not run as on the CPU, one\n"
    "                     line each, without running it; exit status 0 none found, 3 some\n"
    "  --lad              print the program as ladder diagrams (ASCII art), one network\n"
    "                     after another, without running it\n"
    "  --table FILE       load a status table; its forced rows stay forced during the run\n"
    "  --force ADDR=VALUE force an address to a value (repeatable)\n"
    "  --watch A,B,...    print ADDR=VALUE for each address at the end; an address may also\n"
    "                     be a status-table row with its format, as in VW0:十六进制\n"
    "  --trace            print 'pass=N ms=T ADDR=VALUE ...' after every program pass\n"
    "  --vcd FILE         write the values of --vcd-signals after every program pass as a\n"
    "                     Value Change Dump (GTKWave reads it): bits as wires, bytes, words\n"
    "                     and double words as vectors, T n and C n as their 16-bit current\n"
    "                     value (T n:b, C n:b their bit), :r double words as reals; 1 ms steps\n"
    "  --vcd-signals A,B,...  the addresses --vcd writes\n"
    "  --realtime         pace the timers by the wall clock instead of simulated time\n"
    "  --real-cpu         time and memory as on the CPU: every timer counts in the resolution\n"
    "                     of its number (1, 10, 100 ms), STOP to RUN keeps the memory, STOP\n"
    "                     switches the outputs off; the run starts from a power-up\n"
    "  --clock DATETIME   start the real-time clock (TODR) at DATETIME, as in\n"
    "                     2026-01-05T07:59:50; it advances with the run's time. Default:\n"
    "                     2000-01-01T00:00:00 in simulated time, the host's clock with --realtime\n"
    "  --log              print the simulator's log lines to standard error\n"
    "  --help             print this text; --version prints the version\n"
    "  --slave-port PROTOCOL,DEVICE[,ADDRESS[,BAUD]]\n"
    "                     serve the slave port: PROTOCOL modbus or ppi, DEVICE a device path\n"
    "                     or COMn (KORVANE_COMn, else /dev/ttyS(n-1)), station ADDRESS\n"
    "                     (default 2), BAUD (default 9600; even parity, 8 data, 1 stop bit)\n"
    "  --master-port PROTOCOL,DEVICE[,ADDRESS[,BAUD]]\n"
    "                     open the master port: PROTOCOL ppi, modbus, free or uss; ADDRESS\n"
    "                     the PPI master's own (default 1); needs a CPU model with two ports\n"
    "                     Either port implies --realtime and, without --scans or --ms, runs\n"
    "                     until interrupted (SIGINT, SIGTERM)\n"
    "addresses: I0.0 Q1.7 M2.3 V10.1 S0.1 SM0.5, IB/QB/MB/VB/SB/SMB n, IW/QW/MW/VW/SW/AIW/AQW n,\n"
    "  ID/QD/MD/VD/SD n, T n, C n (current value), T n:b, C n:b (bit), AC0..AC3;\n"
    "  suffix :s signed, :r real (double words), :x hexadecimal\n"
    "every load prints the program check's findings to standard error\n"
    "exit status: 0 success, 1 a scripted check failed (--grade: in some program, or a program\n"
    "  did not load), 2 bad usage, unreadable input, or a report or --vcd file not written,\n"
    "  3 --check found something\n";

// The longest a serving real-time runner sleeps on its descriptors without a firing due.
constexpr std::int64_t kLongestSleepMs = 1000;

// The real-time clock's start in simulated time without --clock: 2000-01-01T00:00:00.
constexpr std::int64_t kSimulatedClockStart = 946'684'800'000;

int usage(const std::string& message) {
    std::cerr << "korvane-run: " << message << "\n" << kUsage << kObjectLinkUsage;
    return 2;
}

std::atomic<bool> gInterrupted{false};
extern "C" void onSignal(int) { gInterrupted = true; }

class StderrLog : public LogSink {
public:
    bool enabled = false;
    void ShowLog(const std::string& line) override {
        if (enabled) std::cerr << line << "\n";
    }
};

// A watched address: one of the runner's own forms, or a status-table row with its format
// ("VW0:十六进制"), rendered as the status table renders it.
struct WatchItem {
    std::string text;
    std::optional<PlcAddress> address;
    std::size_t row = 0;  // in the runner's watch table
};
StatusTable gWatchTable;

struct Options {
    std::string program, db, script, hw, table, symbols;
    bool check = false;
    bool lad = false;
    std::vector<std::pair<std::string, std::string>> forces;
    long scans = -1;
    long long ms = -1;
    int period = 50, timebase = 80;
    ModeCommand mode;
    std::vector<std::pair<PlcAddress, std::string>> sets;
    std::vector<WatchItem> watch;
    std::string vcd;
    std::vector<TraceSignal> vcdSignals;
    bool trace = false, log = false, realtime = false, realCpu = false;
    std::optional<std::int64_t> clockStart;  // local milliseconds
    std::optional<PortOption> slavePort, masterPort;
    std::string junit, grade;  // --junit FILE, --grade SCRIPT
    bool tap = false;
    int jobs = 2;
    std::vector<std::string> programs;  // with --grade
};

// The machine-readable reports: --junit writes its file, --tap prints on standard output.
bool writeReports(const std::vector<SuiteReport>& suites, const Options& o) {
    if (o.tap) std::cout << tapText(suites);
    if (o.junit.empty()) return true;
    std::ofstream out(o.junit, std::ios::binary);
    out << junitXml(suites);
    out.close();
    if (!out) {
        std::cerr << "korvane-run: cannot write '" << o.junit << "'\n";
        return false;
    }
    return true;
}

// The largest script file read: a script is a list of timed events.
constexpr std::size_t kMaxScriptBytes = std::size_t{16} << 20;

// The refusal of an input file (what: "status table", say) that was not read, or read no
// further than the bound.
std::string readRefusal(FileRead result, const std::string& what, const std::string& path, std::size_t maxBytes) {
    switch (result) {
    case FileRead::Ok: break;
    case FileRead::CannotOpen:
    case FileRead::ReadError: return "cannot read " + what + " '" + path + "'";
    case FileRead::Folder: return what + " '" + path + "' is a folder, not a file";
    case FileRead::TooLarge:
        return what + " '" + path + "' is larger than " + sizeText(maxBytes) + ", the most that is read";
    }
    return {};
}

// What can be told about an input file without opening it (a pipe can be read once only, by
// its loader): missing, a folder, or a regular file longer than its loader reads. Ok when
// none of these; the loader's bounded read then judges the rest.
FileRead inputStatus(const std::string& path, std::size_t maxBytes) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) return FileRead::CannotOpen;
    if (std::filesystem::is_directory(status)) return FileRead::Folder;
    if (std::filesystem::is_regular_file(status)) {
        const auto size = std::filesystem::file_size(path, ec);
        if (!ec && size > maxBytes) return FileRead::TooLarge;
    }
    return FileRead::Ok;
}

bool isRegularFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// Reads and parses a script; a refusal goes to standard error.
bool loadScript(const std::string& path, RunScript& script) {
    std::string scriptText, error;
    const FileRead read = readFileBounded(path, kMaxScriptBytes, scriptText);
    if (read != FileRead::Ok) {
        std::cerr << "korvane-run: " << readRefusal(read, "script", path, kMaxScriptBytes) << "\n";
        return false;
    }
    auto parsed = parseRunScript(scriptText, error);
    if (!parsed) {
        std::cerr << "korvane-run: " << path << ": " << error << "\n";
        return false;
    }
    script = std::move(*parsed);
    return true;
}

bool parseLong(const std::string& s, long long& v) {
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    v = std::strtoll(s.c_str(), &end, 10);
    return !*end && errno != ERANGE;
}

bool watchItem(const std::string& item, WatchItem& out) {
    out.text = item;
    if (auto a = parseAddress(item)) {
        out.address = *a;
        return true;
    }
    auto colon = item.find(':');
    if (colon == std::string::npos) return false;
    auto format = formatCodeOf(item.substr(colon + 1));
    if (!format) return false;
    gWatchTable.append();
    const std::size_t i = gWatchTable.size() - 1;
    gWatchTable.setAddress(i, item.substr(0, colon));
    if (!gWatchTable.row(i).valid || !gWatchTable.setFormat(i, *format)) {
        gWatchTable.removeRow(i);
        return false;
    }
    out.row = i;
    return true;
}

std::string watchValue(const PlcMemory& mem, const WatchItem& w) {
    if (w.address) return readAddress(mem, *w.address);
    gWatchTable.readOnce();
    gWatchTable.FreshShow(mem);
    const std::string& cell = gWatchTable.row(w.row).currentValueCell;
    const auto first = cell.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : cell.substr(first, cell.find_last_not_of(' ') - first + 1);
}

bool splitWatch(const std::string& list, std::vector<WatchItem>& out, std::string& bad) {
    std::size_t start = 0;
    for (;;) {
        auto comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!item.empty()) {
            WatchItem w;
            if (!watchItem(item, w)) {
                bad = item;
                return false;
            }
            out.push_back(std::move(w));
        }
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

// --grade SCRIPT PROGRAM...: the script against every program, each in a fresh simulator.
int gradeMain(Options& o, bool linkEnabled) {
    if (!o.db.empty() || !o.hw.empty() || !o.table.empty() || !o.symbols.empty() || !o.script.empty() || o.check ||
        !o.forces.empty() || !o.sets.empty() || !o.watch.empty() || o.trace || o.realtime || o.slavePort ||
        o.masterPort || linkEnabled || o.lad || !o.vcd.empty())
        return usage("--grade takes only --ms, --scans, --mode, --period, --timebase, --real-cpu, --clock, --jobs, "
                     "--junit and --tap");
    if (!o.program.empty()) o.programs.insert(o.programs.begin(), o.program);
    if (o.programs.empty()) return usage("--grade needs at least one program");
    RunScript script;
    if (!loadScript(o.grade, script)) return 2;
    GradeSettings settings;
    settings.scans = o.scans;
    // Without a bound the run lasts as long as the script looks.
    settings.ms = o.ms < 0 && o.scans < 0 ? scriptEndMs(script) : o.ms;
    settings.period = o.period;
    settings.timebase = o.timebase;
    settings.mode = o.mode;
    settings.realCpu = o.realCpu;
    settings.clockStart = o.clockStart;
    settings.jobs = o.jobs;
    const auto runs = gradeClass(o.programs, script, settings);
    std::vector<SuiteReport> suites;
    bool all = true;
    for (const auto& r : runs) {
        for (const auto& note : r.notes) std::cerr << note << "\n";
        suites.push_back(r.report);
        all = all && r.passed();
    }
    (o.tap ? std::cerr : std::cout) << gradeTable(runs);
    if (!writeReports(suites, o)) return 2;
    return all ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
#if defined(__GLIBC__)
    // A run is one short process: large blocks (the program text, the code table) come from
    // the heap and freed memory stays there for the next, instead of fresh pages each time.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
    gWatchTable.rows().clear();
    Options o;
    ObjectLinkRunOptions linkOptions;
    std::string linkError;
    bool scansGiven = false;
    std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto next = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
        long long n = 0;
        if (a == "--scans" || a == "--ms" || a == "--period" || a == "--timebase") {
            const std::string* v = next();
            if (!v || !parseLong(*v, n) || n < 0) return usage(a + " needs a number");
            if (a == "--scans") o.scans = static_cast<long>(n), scansGiven = true;
            else if (a == "--ms") o.ms = n;
            else if (a == "--period") {
                if (n < 10 || n > 3000 || n % 10) return usage("--period takes 10 to 3000 in steps of 10");
                o.period = static_cast<int>(n);
            } else {
                if (n < 30 || n > 1000 || n % 5) return usage("--timebase takes 30 to 1000 in steps of 5");
                o.timebase = static_cast<int>(n);
            }
        } else if (a == "--mode") {
            const std::string* v = next();
            auto m = v ? parseModeCommand(*v) : std::nullopt;
            if (!m || m->kind == ModeCommand::Kind::Pause || m->kind == ModeCommand::Kind::Stop)
                return usage("--mode takes run, first, single, slow or count:N");
            o.mode = *m;
        } else if (a == "--set") {
            const std::string* v = next();
            if (!v) return usage("--set needs ADDR=VALUE");
            auto eq = v->find('=');
            if (eq == std::string::npos) return usage("--set needs ADDR=VALUE, not '" + *v + "'");
            auto addr = parseAddress(v->substr(0, eq));
            if (!addr) return usage("unknown address '" + v->substr(0, eq) + "'");
            o.sets.emplace_back(*addr, v->substr(eq + 1));
        } else if (a == "--watch") {
            const std::string* v = next();
            if (!v) return usage("--watch needs a list of addresses");
            std::string bad;
            if (!splitWatch(*v, o.watch, bad)) return usage("unknown address '" + bad + "'");
        } else if (a == "--junit" || a == "--grade") {
            const std::string* v = next();
            if (!v) return usage(a + " needs a file");
            (a == "--junit" ? o.junit : o.grade) = *v;
        } else if (a == "--tap") {
            o.tap = true;
        } else if (a == "--jobs") {
            const std::string* v = next();
            if (!v || !parseLong(*v, n) || n < 1 || n > 64) return usage("--jobs takes 1 to 64");
            o.jobs = static_cast<int>(n);
        } else if (a == "--db" || a == "--script" || a == "--hw" || a == "--table" || a == "--symbols") {
            const std::string* v = next();
            if (!v) return usage(a + " needs a file");
            (a == "--db" ? o.db : a == "--script" ? o.script : a == "--hw" ? o.hw : a == "--table" ? o.table : o.symbols) = *v;
        } else if (a == "--check") {
            o.check = true;
        } else if (a == "--lad") {
            o.lad = true;
        } else if (a == "--real-cpu") {
            o.realCpu = true;
        } else if (a == "--force") {
            const std::string* v = next();
            auto eq = v ? v->find('=') : std::string::npos;
            if (eq == std::string::npos) return usage("--force needs ADDR=VALUE");
            o.forces.emplace_back(v->substr(0, eq), v->substr(eq + 1));
        } else if (a == "--vcd" || a == "--vcd-signals") {
            const std::string* v = next();
            if (!v) return usage(a == "--vcd" ? "--vcd needs a file" : "--vcd-signals needs a list of addresses");
            std::string error;
            if (a == "--vcd") o.vcd = *v;
            else if (auto s = parseTraceSignals(*v, error)) o.vcdSignals = std::move(*s);
            else return usage("--vcd-signals: " + error);
        } else if (a == "--trace") {
            o.trace = true;
        } else if (a == "--log") {
            o.log = true;
        } else if (a == "--realtime") {
            o.realtime = true;
        } else if (a == "--clock") {
            const std::string* v = next();
            o.clockStart = v ? parseLocalDateTime(*v) : std::nullopt;
            if (!o.clockStart) return usage("--clock takes a date and time such as 2026-01-05T07:59:50");
        } else if (a == "--slave-port" || a == "--master-port") {
            const std::string* v = next();
            if (!v) return usage(a + " needs PROTOCOL,DEVICE[,ADDRESS[,BAUD]]");
            std::string error;
            auto port = parsePortOption(a == "--slave-port" ? PortOption::Role::Slave : PortOption::Role::Master, *v,
                                        error);
            if (!port) return usage(error);
            (a == "--slave-port" ? o.slavePort : o.masterPort) = std::move(port);
        } else if (const int r = parseObjectLinkOption(args, i, linkOptions, linkError); r != 0) {
            if (r < 0) return usage(linkError);
        } else if (a == "--help" || a == "-h") {
            std::cout << kUsage << kObjectLinkUsage;
            return 0;
        } else if (a == "--version") {
            std::cout << "korvane-run " KORVANE_VERSION "\n";
            return 0;
        } else if (!a.empty() && a[0] == '-') {
            return usage("unknown option '" + a + "'");
        } else if (!o.grade.empty()) {
            o.programs.push_back(a);
        } else if (o.program.empty()) {
            o.program = a;
        } else {
            return usage("more than one program given");
        }
    }
    if (!o.grade.empty()) return gradeMain(o, linkOptions.enabled);
    if (o.program.empty()) return usage("no program given");
    if (o.vcd.empty() != o.vcdSignals.empty()) return usage("--vcd and --vcd-signals go together");
    RunnerPorts ports;
    {
        std::string error;
        if (!ports.assign(o.slavePort, o.masterPort, error)) return usage(error);
    }
    const bool serving = ports.any() || linkOptions.enabled;
    if (serving) o.realtime = true;
    if (!scansGiven && o.ms < 0 && !serving)
        o.scans = o.mode.kind == ModeCommand::Kind::Count ? std::max(1, o.mode.count) : 1;

    // The program is read once, by the loader (a pipe cannot be read twice); what can be
    // told before is told now.
    switch (inputStatus(o.program, StlReader::kMaxProgramBytes)) {
    case FileRead::Ok:
    case FileRead::ReadError: break;
    case FileRead::CannotOpen:
        std::cerr << "korvane-run: " << programRefusal(ProgramFileProblem::CannotOpen, o.program) << "\n";
        return 2;
    case FileRead::Folder:
        std::cerr << "korvane-run: " << programRefusal(ProgramFileProblem::Folder, o.program) << "\n";
        return 2;
    case FileRead::TooLarge:
        std::cerr << "korvane-run: " << programRefusal(ProgramFileProblem::TooLarge, o.program) << "\n";
        return 2;
    }
    RunScript script;
    if (!o.script.empty() && !loadScript(o.script, script)) return 2;
    // Each loader reads its file itself, no further than its bound.
    struct Input {
        const std::string& path;
        const char* what;
        std::size_t maxBytes;
    };
    for (const Input& in : {Input{o.db, "data block", DataBlock::kMaxFileBytes},
                            Input{o.hw, "hardware configuration", kMaxHardwareFileBytes},
                            Input{o.table, "status table", StatusTable::kMaxFileBytes},
                            Input{o.symbols, "symbol table", SymbolTable::kMaxFileBytes}}) {
        if (in.path.empty()) continue;
        const FileRead status = inputStatus(in.path, in.maxBytes);
        if (status != FileRead::Ok) {
            std::cerr << "korvane-run: " << readRefusal(status, in.what, in.path, in.maxBytes) << "\n";
            return 2;
        }
    }
    // A pipe or a device is judged by its loader's bounded read: a refusal may also mean
    // that it went on past the bound.
    auto pastBound = [](const std::string& path, std::size_t maxBytes) {
        return isRegularFile(path) ? std::string() : ", or longer than " + sizeText(maxBytes);
    };

    StderrLog sink;
    sink.enabled = o.log;
    AutoPrompt prompt;
    RunnerViews views;
    VirtualScheduler clock;
    // The real-time clock: in simulated time it starts at a fixed moment and runs with the
    // simulated milliseconds, so that a run does not depend on when it is made.
    VirtualClock simulatedClock(o.clockStart.value_or(kSimulatedClockStart), &clock);
    // Without --log no line is shown: no sink, so the engine builds no log texts.
    Simulator sim(clock, o.log ? &sink : nullptr, &prompt, &views);
    views.image = &sim.memory;
    // The runner shows no load progress: the load skips its texts.
    sim.reader.onProgress = nullptr;
    if (o.clockStart || !o.realtime) sim.interpreter.wallClock = &simulatedClock;
    if (!o.symbols.empty() && !sim.loadSymbolFile(o.symbols)) {
        std::cerr << "korvane-run: '" << o.symbols << "' is not a symbol table (no line with a symbol and an address"
                  << pastBound(o.symbols, SymbolTable::kMaxFileBytes) << ")\n";
        return 2;
    }
    sim.setRealCpu(o.realCpu);
    // The ladder is drawn from the text as the loader read it: a pipe cannot be read twice.
    std::string programText;
    if (o.lad) sim.reader.keepText = &programText;
    sim.setDialogFileName(o.program);
    sim.myLoadCode();
    sim.reader.keepText = nullptr;
    if (!sim.hasProgram()) {
        std::cerr << "korvane-run: " << programRefusal(sim.reader.problem(), o.program) << "\n";
        return 2;
    }
    if (!hasAwlExtension(o.program))
        std::cerr << "korvane-run: warning: the file name does not end in \".awl\"; its lines are read but not built\n";
    // The program check: on standard error with every load, on standard output for --check.
    {
        std::ostream& out = o.check ? std::cout : std::cerr;
        // In pieces of about 32 KB, written as they fill.
        constexpr std::size_t kPiece = 32 * 1024;
        std::string report;
        report.reserve(kPiece + 1024);
        for (const Finding& f : sim.findings()) {
            report += o.program;
            report += ':';
            appendFindingEnglishLine(report, f);
            report += '\n';
            if (report.size() >= kPiece) {
                out.write(report.data(), static_cast<std::streamsize>(report.size()));
                report.clear();
            }
        }
        if (o.check) {
            const std::size_t n = sim.findings().size();
            report += o.program;
            report += ": ";
            report += n == 0 ? std::string("no findings") : std::to_string(n) + (n == 1 ? " finding" : " findings");
            report += '\n';
        }
        out.write(report.data(), static_cast<std::streamsize>(report.size()));
        if (o.check) {
            // Nothing else is written: the process ends without taking the program apart.
            const int status = sim.findings().empty() ? 0 : 3;
            std::cout.flush();
            std::cerr.flush();
            std::_Exit(status);
        }
    }
    if (o.lad) {
        ladder::Program lad = ladder::convertToLadder(programText, sim.reader.fileLines);
        if (!o.symbols.empty()) {
            // Operands read "symbol:address" as the window's ladder shows them.
            const auto named = [&](std::string& operand) {
                if (!operand.empty()) operand = withSymbols("X " + operand, sim.symbols).substr(2);
            };
            for (auto& block : lad.blocks)
                for (auto& network : block.networks)
                    for (auto& e : network.elements) {
                        named(e.operand);
                        if (e.shape == ladder::Shape::CompareContact) named(e.operand2);
                        for (auto& pin : e.inputs) named(pin.operand);
                        for (auto& pin : e.outputs) named(pin.operand);
                    }
        }
        std::cout << ladder::renderLadderText(lad);
        return 0;
    }

    if (!o.hw.empty() && !loadHardwareFile(o.hw, sim.hardware, sim.log, &prompt)) {
        // With the message the window shows, as in "前面的位置没有模块，不能在这里增加模块".
        std::cerr << "korvane-run: '" << o.hw << "' is not a hardware configuration the rack can take";
        if (!prompt.informed.empty()) std::cerr << ": " << prompt.informed.back();
        if (prompt.informed.empty() || prompt.informed.back() == kMsgHardwareFileBad)
            std::cerr << pastBound(o.hw, kMaxHardwareFileBytes);
        std::cerr << "\n";
        return 2;
    }
    ObjectLinkRunner linkRunner;
    if (linkOptions.enabled) {
        if (!linkRunner.start(sim, linkOptions, linkError)) {
            std::cerr << "korvane-run: " << linkError << "\n";
            return 2;
        }
        std::cerr << "korvane-run: object link on port " << linkRunner.port() << std::endl;
    }
    if (!o.table.empty()) {
        if (!sim.statusTable.loadFile(o.table, sim.log)) {
            std::cerr << "korvane-run: '" << o.table << "' is not a status table"
                      << pastBound(o.table, StatusTable::kMaxFileBytes) << "\n";
            return 2;
        }
    }
    for (const auto& [addr, value] : o.forces) {
        auto& table = sim.statusTable;
        table.append();
        const std::size_t i = table.size() - 1;
        table.setAddress(i, addr);
        if (!table.row(i).valid) return usage("--force: unknown address '" + addr + "'");
        if (table.enterNewValue(i, value) != StatusTable::NewValue::Stored)
            return usage("--force: '" + value + "' is not a value for " + addr);
        table.force(i);
    }

    // Values: inputs go to the runner's input state (the potentiometers through it to the
    // simulator's); anything else into the image once the CPU is in RUN (RUN entry clears
    // the image).
    auto applySet = [&](const PlcAddress& addr, const std::string& value) {
        return applyRunnerValue(sim, views, addr, value);
    };
    for (const auto& [addr, value] : o.sets)
        if (isRunnerInput(addr) && !applySet(addr, value)) {
            std::cerr << "korvane-run: '" << value << "' is not a value for " << addr.text << "\n";
            return 2;
        }

    sim.scan.setTaskPeriod(o.period);
    sim.scan.setTimeBase(o.timebase);
    // The CPU is switched on: with the real-CPU timing the first RUN entry follows a
    // power-up (SM0.3 in the first pass).
    if (o.realCpu) sim.scan.powerUp();
    issueMode(sim, o.mode);
    if (!o.db.empty() && !sim.dataBlock.load(o.db, sim.memory, prompt, sim.log)) {
        if (sim.dataBlock.lineOutsideV() >= 0)
            std::cerr << "korvane-run: '" << o.db << "' line " << sim.dataBlock.lineOutsideV() + 1
                      << " runs past the end of V memory; nothing of the data block was written\n";
        else
            std::cerr << "korvane-run: '" << o.db << "' is not a data block (more than "
                      << DataBlock::kMaxLines << " lines" << pastBound(o.db, DataBlock::kMaxFileBytes) << ")\n";
        return 2;
    }
    for (const auto& [addr, value] : o.sets)
        if (!isRunnerInput(addr) && !applySet(addr, value)) {
            std::cerr << "korvane-run: '" << value << "' is not a value for " << addr.text << "\n";
            return 2;
        }

    if (ports.any()) {
        // Opened once the CPU is in its run mode: RUN entry clears the image, and the free
        // port's open sets bits in it.
        std::string error;
        sim.attachSerial(ports.factory());
        // A served serial device that went away or came back is always said, with or without
        // --log: a runner serving an HMI must not fall silent.
        if (!o.log) sim.comm->lineKeeper.onNotice = [](const std::string& line) { std::cerr << line << "\n"; };
        if (!ports.open(*sim.comm, sim.hardware.cpu().ports, error)) {
            std::cerr << "korvane-run: " << error << "\n";
            return 2;
        }
    }

    auto watchText = [&](bool prefixSpace) {
        std::string line;
        for (const auto& w : o.watch) {
            if (prefixSpace || !line.empty()) line += ' ';
            line += w.text + "=" + watchValue(sim.memory, w);
        }
        return line;
    };
    if (o.trace)
        sim.scan.afterPass = [&] {
            std::cout << "pass=" << sim.scan.passes() << " ms=" << clock.nowMs() << watchText(true) << "\n";
        };

    // Script events: sets and modes before the first tick at or after their time, checks
    // after it; interval and edge checks after every pass.
    ScriptPlayer player(script, sim.memory, applySet, [&](const ModeCommand& m) { issueMode(sim, m); });
    player.onFailure = [&](const std::string& message) {
        if (!o.tap) std::cout << "FAIL " << message << "\n";
    };
    sim.scan.beforeTick = [&](std::int64_t now) { player.beforeTick(now); };
    sim.scan.afterTick = [&](std::int64_t now) { player.afterTick(now, sim.scan.passes()); };
    player.start();

    // The value change dump: the image as the run starts, then after every program pass.
    std::ofstream vcdFile;
    std::optional<VcdWriter> vcd;
    if (!o.vcd.empty()) {
        vcdFile.open(o.vcd, std::ios::binary | std::ios::trunc);
        if (!vcdFile) {
            std::cerr << "korvane-run: cannot write '" << o.vcd << "'\n";
            return 2;
        }
        char date[32] = "";
        const std::time_t t = std::time(nullptr);
        if (const std::tm* utc = std::gmtime(&t)) std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S UTC", utc);
        vcd.emplace(vcdFile, o.vcdSignals, date, "korvane-run " KORVANE_VERSION);
        vcd->sample(clock.nowMs(), sim.memory);
        sim.scan.afterPass = [&, also = std::move(sim.scan.afterPass)] {
            if (also) also();
            vcd->sample(clock.nowMs(), sim.memory);
        };
    }

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    const auto wallStart = std::chrono::steady_clock::now();
    auto finished = [&] {
        if (o.scans >= 0 && sim.scan.passes() >= static_cast<std::uint64_t>(o.scans)) return true;
        const Mode m = sim.scan.state().mode;
        const bool idle = m == Mode::Pause || m == Mode::Stop;
        // Paused or stopped for good: no pass can come any more. A served port goes on
        // answering until interrupted.
        return o.ms < 0 && !ports.any() && idle && !player.modeEventsLeft() && !player.checksLeft();
    };
    DescriptorWait wait;
    std::int64_t lookedAt = -1;  // the firing time the descriptors were last looked at for
    while (!gInterrupted && !finished()) {
        const std::int64_t due = clock.nextDue();
        if (due < 0 || (o.ms >= 0 && due > o.ms)) break;
        if (serving) {
            // Sleeps on the serial lines and the object link's sockets until a firing is due
            // that is not a quiet line poll (those fire once, late, when the runner wakes).
            // What arrives in between is handled at once, and the firings are looked at
            // again. Firings that fall due at the same time look at the descriptors once.
            ports.raisePending();
            std::int64_t wake = clock.nextDueAwake();
            if (wake < 0 || wake > due + kLongestSleepMs) wake = due + kLongestSleepMs;
            if (o.ms >= 0) wake = std::min(wake, std::max<std::int64_t>(due, o.ms));
            const auto wakeAt = wallStart + std::chrono::milliseconds(wake);
            if (!gInterrupted && (lookedAt != due || std::chrono::steady_clock::now() < wakeAt)) {
                lookedAt = due;
                wait.clear();
                ports.addTo(wait);
                if (linkOptions.enabled) linkRunner.addTo(wait);
                if (wait.waitUntil(wakeAt)) continue;
            }
        } else if (o.realtime) {
            std::this_thread::sleep_until(wallStart + std::chrono::milliseconds(due));
        }
        if (o.realtime) {
            // Behind the wall clock (the machine was busy): the overdue timers fire once now
            // rather than in a burst, which would squeeze simulated time, and with it the
            // serial protocols' silent intervals and reply windows, into no time at all.
            const auto wallMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - wallStart).count();
            if (wallMs > due) {
                clock.coalesceTo(wallMs);
                lookedAt = wallMs;  // the descriptors were looked at on the way here
                continue;
            }
        }
        clock.step();
    }
    player.finish(clock.nowMs());

    if (vcd) {
        vcd->finish(clock.nowMs());
        vcdFile.close();
        if (!vcdFile) {
            std::cerr << "korvane-run: writing '" << o.vcd << "' failed\n";
            return 2;
        }
    }
    for (const auto& w : o.watch) std::cout << w.text << "=" << watchValue(sim.memory, w) << "\n";
    SuiteReport report{o.program, player.results(), {}, sim.findings().size()};
    if (!writeReports({report}, o)) return 2;
    return player.failures() ? 1 : 0;
}
