// korvane-run: the headless front end. Loads an STL program as the load command does, writes
// the given values into the image, runs program passes and prints watched addresses.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/log_sink.h"
#include "platform/prompt.h"
#include "sim/address.h"
#include "sim/simulator.h"

using namespace korvane;

namespace {

const char* kUsage =
    "usage: korvane-run PROGRAM.awl [--scans N] [--set ADDR=VALUE]... [--watch ADDR,ADDR...]\n"
    "                   [--trace] [--log]\n"
    "  --scans N          run N program passes (default 1)\n"
    "  --set ADDR=VALUE   write VALUE into the image before the first pass (repeatable)\n"
    "  --watch A,B,...    print ADDR=VALUE for each address after the last pass\n"
    "  --trace            print the watched values after every pass: pass=N ADDR=VALUE ...\n"
    "  --log              print the simulator's log lines to standard error\n"
    "addresses: I0.0 Q1.7 M2.3 V10.1 S0.1 SM0.5, IB/QB/MB/VB/SB/SMB n, IW/QW/MW/VW/SW/AIW/AQW n,\n"
    "  ID/QD/MD/VD/SD n, T n, C n (current value), T n:b, C n:b (bit), AC0..AC3;\n"
    "  suffix :s signed, :r real (double words), :x hexadecimal\n";

int usage(const std::string& message) {
    std::cerr << "korvane-run: " << message << "\n" << kUsage;
    return 2;
}

class StderrLog : public LogSink {
public:
    bool enabled = false;
    void ShowLog(const std::string& line) override {
        if (enabled) std::cerr << line << "\n";
    }
};

struct Options {
    std::string program;
    long scans = 1;
    std::vector<std::pair<PlcAddress, std::string>> sets;
    std::vector<PlcAddress> watch;
    bool trace = false;
    bool log = false;
};

bool splitWatch(const std::string& list, std::vector<PlcAddress>& out, std::string& bad) {
    std::size_t start = 0;
    while (start <= list.size()) {
        auto comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!item.empty()) {
            auto a = parseAddress(item);
            if (!a) {
                bad = item;
                return false;
            }
            out.push_back(*a);
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* name) -> const std::string* {
            if (i + 1 >= args.size()) return nullptr;
            (void)name;
            return &args[++i];
        };
        if (a == "--scans") {
            const std::string* v = value("--scans");
            if (!v) return usage("--scans needs a number");
            char* end = nullptr;
            o.scans = std::strtol(v->c_str(), &end, 10);
            if (v->empty() || *end || o.scans < 0) return usage("--scans needs a number of passes, not '" + *v + "'");
        } else if (a == "--set") {
            const std::string* v = value("--set");
            if (!v) return usage("--set needs ADDR=VALUE");
            auto eq = v->find('=');
            if (eq == std::string::npos) return usage("--set needs ADDR=VALUE, not '" + *v + "'");
            auto addr = parseAddress(v->substr(0, eq));
            if (!addr) return usage("unknown address '" + v->substr(0, eq) + "'");
            o.sets.emplace_back(*addr, v->substr(eq + 1));
        } else if (a == "--watch") {
            const std::string* v = value("--watch");
            if (!v) return usage("--watch needs a list of addresses");
            std::string bad;
            if (!splitWatch(*v, o.watch, bad)) return usage("unknown address '" + bad + "'");
        } else if (a == "--trace") {
            o.trace = true;
        } else if (a == "--log") {
            o.log = true;
        } else if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (!a.empty() && a[0] == '-') {
            return usage("unknown option '" + a + "'");
        } else if (o.program.empty()) {
            o.program = a;
        } else {
            return usage("more than one program given");
        }
    }
    if (o.program.empty()) return usage("no program given");
    {
        std::ifstream probe(o.program, std::ios::binary);
        if (!probe) {
            std::cerr << "korvane-run: cannot read program '" << o.program << "'\n";
            return 2;
        }
    }

    StderrLog sink;
    sink.enabled = o.log;
    AutoPrompt prompt;
    Simulator sim(&sink, &prompt);
    sim.setDialogFileName(o.program);
    sim.myLoadCode();
    if (!sim.hasProgram()) {
        std::cerr << "korvane-run: '" << o.program
                  << "' holds no program (an ORGANIZATION_BLOCK with at least three lines is needed)\n";
        return 2;
    }
    if (o.program.size() < 4 || o.program.compare(o.program.size() - 4, 4, ".awl") != 0)
        std::cerr << "korvane-run: warning: the file name does not end in \".awl\"; its lines are read but not built\n";

    for (const auto& [addr, text] : o.sets) {
        if (!writeAddress(sim.memory, addr, text)) {
            std::cerr << "korvane-run: '" << text << "' is not a value for " << addr.text << "\n";
            return 2;
        }
    }

    for (long pass = 1; pass <= o.scans; ++pass) {
        sim.runPass();
        if (o.trace) {
            std::string line = "pass=" + std::to_string(pass);
            for (const auto& w : o.watch) line += " " + w.text + "=" + readAddress(sim.memory, w);
            std::cout << line << "\n";
        }
    }
    for (const auto& w : o.watch) std::cout << w.text << "=" << readAddress(sim.memory, w) << "\n";
    return 0;
}
