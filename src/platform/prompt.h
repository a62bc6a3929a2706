#pragma once
// The prompt seam: questions and messages of the user commands. The GUI answers with
// message boxes; the headless runner answers every question with OK.
#include <optional>
#include <string>
#include <vector>

namespace korvane {

class Prompt {
public:
    virtual ~Prompt() = default;
    // An OK / Cancel question; true means OK.
    virtual bool ask(const std::string& question) = 0;
    // A message with only an OK button.
    virtual void inform(const std::string& message) = 0;
    // An input box; nullopt when cancelled.
    virtual std::optional<std::string> input(const std::string& prompt, const std::string& title,
                                             const std::string& defaultText) = 0;
};

// Answers OK to everything and records what was asked; korvane-run and the tests use it.
class AutoPrompt : public Prompt {
public:
    bool ask(const std::string& question) override {
        asked.push_back(question);
        return answer;
    }
    void inform(const std::string& message) override { informed.push_back(message); }
    std::optional<std::string> input(const std::string& prompt, const std::string&,
                                     const std::string& defaultText) override {
        asked.push_back(prompt);
        if (cancelInput) return std::nullopt;
        if (inputAnswer) return inputAnswer;
        return defaultText;
    }

    bool answer = true;
    std::optional<std::string> inputAnswer;  // the default text when unset
    bool cancelInput = false;
    std::vector<std::string> asked;
    std::vector<std::string> informed;
};

}  // namespace korvane
