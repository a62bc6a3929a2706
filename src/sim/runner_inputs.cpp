#include "sim/runner_inputs.h"

#include <algorithm>

namespace korvane {

void RunnerViews::FreshInData() {
    std::int16_t* dst = image->cells();
    const std::int16_t* src = inputs.cells();
    std::copy(src + area::I, src + area::Q, dst + area::I);
    std::copy(src + area::AIW, src + area::AQW, dst + area::AIW);
}

bool isPotentiometer(const PlcAddress& a) {
    constexpr int first = area::SM + 8 * 28, end = area::SM + 8 * 30;
    const bool memoryKind = a.kind == PlcAddress::Kind::Bit || a.kind == PlcAddress::Kind::Byte ||
                            a.kind == PlcAddress::Kind::Word || a.kind == PlcAddress::Kind::DWord;
    return memoryKind && a.key >= first && a.key + a.width() <= end;
}

bool isRunnerInput(const PlcAddress& a) { return a.isInput() || isPotentiometer(a); }

bool applyRunnerValue(Simulator& sim, RunnerViews& views, const PlcAddress& addr, const std::string& value) {
    PlcMemory& target = isRunnerInput(addr) ? views.inputs : sim.memory;
    if (!writeAddress(target, addr, value)) return false;
    if (isPotentiometer(addr))
        for (std::size_t k = 0; k < sim.potentiometers.size(); ++k)
            sim.potentiometers[k] = views.inputs.byteAt(area::SM + 8 * (28 + static_cast<int>(k)));
    return true;
}

void issueMode(Simulator& sim, const ModeCommand& m) {
    switch (m.kind) {
    case ModeCommand::Kind::Run: sim.scan.continuousRun(); break;
    case ModeCommand::Kind::First: sim.scan.firstScan(); break;
    case ModeCommand::Kind::Single: sim.scan.singlePass(); break;
    case ModeCommand::Kind::Slow: sim.scan.onePerSecond(); break;
    case ModeCommand::Kind::Pause: sim.scan.pauseButton(); break;
    case ModeCommand::Kind::Stop: sim.scan.stop(); break;
    case ModeCommand::Kind::Count: sim.scan.countedPasses(m.count); break;
    }
}

std::string sizeText(std::size_t bytes) {
    if (bytes % (std::size_t{1} << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    return std::to_string(bytes >> 10) + " KiB";
}

std::string programRefusal(ProgramFileProblem problem, const std::string& path) {
    switch (problem) {
    case ProgramFileProblem::None: break;
    case ProgramFileProblem::CannotOpen: return "cannot read program '" + path + "'";
    case ProgramFileProblem::Folder: return "'" + path + "' is a folder, not a program file";
    case ProgramFileProblem::TooLarge:
        return "'" + path + "' is larger than " + sizeText(StlReader::kMaxProgramBytes) +
               ", the most a program file may hold";
    case ProgramFileProblem::NotText:
        return "'" + path + "' is not a text file (a program is text in UTF-8 or GBK; this holds NUL bytes, "
               "control characters or bytes neither encoding takes)";
    case ProgramFileProblem::TooManyLines:
        return "'" + path + "' has more than " + std::to_string(StlReader::kMaxProgramLines) +
               " program lines, the most a program may have";
    case ProgramFileProblem::Invalid:
        return "'" + path + "' cannot be read as a program (a routine number is out of range)";
    case ProgramFileProblem::NoProgram: break;
    }
    return "'" + path + "' holds no program (an ORGANIZATION_BLOCK with at least three lines is needed)";
}

}  // namespace korvane
