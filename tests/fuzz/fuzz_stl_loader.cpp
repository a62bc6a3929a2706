// Arbitrary bytes as an STL program file, optionally after a symbol table: the bytes up to
// the first zero byte are the symbol table when a zero byte is there. Read, build, check and
// run one pass. Nothing may crash, leak or leave the engine as an exception.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/interpreter.h"
#include "loader/code_builder.h"
#include "loader/program_check.h"
#include "loader/stl_reader.h"
#include "loader/symbol_table.h"

namespace {

// Counts log lines instead of keeping them. A pass that has logged a thousand lines (a
// jump loop over unknown instructions, say) is ended: it would only repeat itself until
// the interpreter's line budget runs out.
class CountingSink : public korvane::LogSink {
public:
    void ShowLog(const std::string&) override {
        if (++count > 1000 && cpu) cpu->endRun = true;
    }
    long count = 0;
    korvane::Interpreter* cpu = nullptr;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvane;
    CountingSink sink;
    Log log(&sink);
    log.setClock([] { return std::string("00:00:00"); });
    PlcMemory mem(&log);
    Program prog;
    StlReader reader;
    std::string_view bytes(reinterpret_cast<const char*>(data), data ? size : 0);
    SymbolTable symbols;
    if (const std::size_t zero = bytes.find('\0'); zero != std::string_view::npos) {
        symbols.loadText(bytes.substr(0, zero));
        bytes.remove_prefix(zero + 1);
    }
    reader.loadText(bytes, prog, log);
    if (reader.lines.size() > 1) {
        BuildInputs inputs;
        inputs.symbols = &symbols;
        inputs.declarationNames = &reader.declarationNames;
        AnalyseCode(reader.lines, prog, mem, log, inputs);
        for (const Finding& f : CheckProgram(prog, reader.lines, reader.fileLines)) {
            (void)findingLogText(f);
            (void)findingEnglishLine(f);
        }
        for (std::size_t i = 0; i < prog.sourceTexts.size(); ++i) (void)withSymbols(prog.sourceTexts[i], symbols);
        Interpreter cpu(mem, prog, log);
        cpu.lineBudget = 20000;  // a looping input ends quickly, like a pass whose watchdog fired
        cpu.passCeiling = 200000;  // and so does one that restarts the watchdog with WDR
        sink.cpu = &cpu;
        cpu.RunExec(0);
    }
    return 0;
}
