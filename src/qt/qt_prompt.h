#pragma once
// The prompt seam on message boxes and an input dialog. The title is the application's.
#include <QPointer>
#include <QWidget>

#include "platform/prompt.h"

namespace korvane {

// The window a dialog should belong to: an open modal dialog, else a shown window that stays
// above the others (the active one first), so that the dialog never hides behind it; else
// the given window.
QWidget* dialogParent(QWidget* fallback);

class QtPrompt : public Prompt {
public:
    explicit QtPrompt(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    bool ask(const std::string& question) override;
    void inform(const std::string& message) override;
    std::optional<std::string> input(const std::string& prompt, const std::string& title,
                                     const std::string& defaultText) override;

private:
    QPointer<QWidget> parent_;
};

// Forwards to a prompt that can be replaced at any time (tests put in one that never blocks).
class SwitchablePrompt : public Prompt {
public:
    explicit SwitchablePrompt(Prompt* target) : target_(target) {}
    void setTarget(Prompt* target) { target_ = target; }
    Prompt* target() const { return target_; }
    bool ask(const std::string& question) override { return target_->ask(question); }
    void inform(const std::string& message) override { target_->inform(message); }
    std::optional<std::string> input(const std::string& prompt, const std::string& title,
                                     const std::string& defaultText) override {
        return target_->input(prompt, title, defaultText);
    }

private:
    Prompt* target_;
};

}  // namespace korvane
