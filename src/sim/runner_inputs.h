#pragma once
// What the headless runner puts in place of the operator's panels: its own input state, the
// potentiometers as inputs, run-mode commands, and the words for a program file it could not
// load. Shared by the single run and the class run (grading.h).
#include <optional>
#include <string>

#include "sim/address.h"
#include "sim/run_script.h"
#include "sim/simulator.h"

namespace korvane {

// The runner's own input state replaces the operator's input panel: every tick's input
// phase copies it into the image, as the panels do, and the immediate reads take it as the
// input terminals.
class RunnerViews : public ViewHooks {
public:
    PlcMemory inputs;
    PlcMemory* image = nullptr;
    void FreshInData() override;
    bool showsCodeText() const override { return false; }
    std::optional<bool> inputTerminal(int key) override { return inputs.cell(key) != 0; }
};

// The analog potentiometers SMB28 and SMB29 (as bytes, a word or bits) are inputs of the
// runner too: a value for them sets the simulator's potentiometers.
bool isPotentiometer(const PlcAddress& a);
bool isRunnerInput(const PlcAddress& a);

// Writes a value: inputs go to the runner's input state (the potentiometers through it to
// the simulator's), anything else into the image. False when the value does not fit.
bool applyRunnerValue(Simulator& sim, RunnerViews& views, const PlcAddress& addr, const std::string& value);

void issueMode(Simulator& sim, const ModeCommand& m);

// "16 MiB", "512 KiB".
std::string sizeText(std::size_t bytes);

// Why a program file gave no program.
std::string programRefusal(ProgramFileProblem problem, const std::string& path);

}  // namespace korvane
