#pragma once
// The rules behind the operator panels, free of any toolkit: the bit and byte panels (I, Q,
// M, V) with their data types, address and page lists, group captions, rendering and the
// input panel's write-back; the analog panel; the timer/counter panel; the lamp captions of
// the front panel. The widgets only bind these models to their controls.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/plc_memory.h"
#include "hardware/hardware_config.h"
#include "platform/log_sink.h"

namespace korvane {

// --- bit and byte panels -------------------------------------------------------------------

enum class PanelKind { Input, Output, M, V };

// Data types in list order; the list position is the code.
namespace datatype {
inline constexpr int Bit = 0, Byte = 1, Word = 2, DWord = 3, SByte = 4, Int = 5, Long = 6, Float = 7;
inline constexpr int Count = 8;
}  // namespace datatype
const char* dataTypeName(int type);

// Display formats in list order: "十六进制" 2, "十进制" 9, "二进制" 4.
namespace showformat {
inline constexpr int Hex = 2, Decimal = 9, Binary = 4;
}
inline constexpr int kFormatCount = 3;
const char* formatListName(int position);
int formatCodeAt(int position);

enum class PanelView { Bit, Byte, Word, DWord };
PanelView viewOf(int dataType);
int boxCountOf(PanelView v);    // 48, 16, 8, 4
int groupCountOf(PanelView v);  // 6, 2, 2, 2
int boxesPerGroup(PanelView v); // 8, 8, 4, 2

// A digital input point of the simulation object: the I bit it drives (-1 when unmapped)
// and its value. Output points carry the Q bit offset they follow.
struct ObjectDigitalPoint {
    int bitIndex = -1;
    double value = 0;
};

class BitBytePanelModel {
public:
    explicit BitBytePanelModel(PanelKind kind, int vMemoryBytes = 10240);

    PanelKind kind() const { return kind_; }
    std::string caption() const;
    char areaLetter() const;
    int areaBase() const;

    // --- selections ------------------------------------------------------------------
    int dataType() const { return dataType_; }
    // Refills the address list (the page list in the V panel), selects its first entry.
    void chooseDataType(int type);
    const std::vector<std::string>& addressList() const { return addresses_; }
    int addressIndex() const { return addressIndex_; }
    void chooseAddress(int index);
    // V panel only; other panels have an empty page list.
    const std::vector<std::string>& pageList() const { return pages_; }
    int pageIndex() const { return pageIndex_; }
    // Refills the offset list and selects its first entry.
    void choosePage(int index);
    int formatIndex() const { return formatIndex_; }
    int formatCode() const { return formatCodeAt(formatIndex_); }
    void chooseFormat(int index);
    // The CPU's V memory changed: the V panel's lists are rebuilt for the current type.
    void setVMemoryBytes(int bytes);

    // --- the shown window ------------------------------------------------------------
    PanelView view() const { return viewOf(dataType_); }
    int boxCount() const { return boxCountOf(view()); }
    int groupCount() const { return groupCountOf(view()); }
    // The start byte S of the window (address, plus 100 x page in the V panel).
    int startByte() const;
    std::string groupCaption(int group) const;
    // Bit index in the image of box d: the bit, or the first byte of the value.
    int boxKey(int d) const;
    // 1, 8, 16 or 32 (a real is 32 bits).
    int width() const;
    // Whether box d lies within the area the image holds (V beyond its 1024 bytes does not).
    bool boxInImage(int d) const;
    // The bit box that shows the image bit at key, in the bit view as last rendered; nothing
    // in the other views or when no box shows it.
    std::optional<int> bitBoxOf(int key) const;

    // --- rendering -------------------------------------------------------------------
    bool bitOn(const PlcMemory& mem, int d) const;
    // The text of value box d in the current type and format ("" beyond the image).
    std::string boxText(const PlcMemory& mem, int d) const;
    // Whether the selection differs from the one at the last render.
    bool selectionChanged() const;
    void markRendered();
    int oldDataType() const { return oldDataType_; }

    // --- the input panel's write-back -------------------------------------------------
    // A box text in a format: blanks and "," skipped; hexadecimal and binary unsigned,
    // decimal with an optional minus sign; "" reads 0. nullopt when not a number.
    static std::optional<double> readBoxText(std::string_view text, int format);
    // Writes every box of the bit view (checked: on). Only when the selection is the one
    // last rendered; false otherwise.
    bool writeBackBits(PlcMemory& mem, std::span<const bool> checked) const;
    // Writes every value box's text with the view's width. A text that is not a number
    // leaves its value alone. Only when the selection is the one last rendered.
    bool writeBackValues(PlcMemory& mem, std::span<const std::string> texts) const;
    // The object's points into their I bits (value above 0: on).
    static void writeObjectInputs(PlcMemory& mem, std::span<const ObjectDigitalPoint> points);
    // The Q bits into the object's output points (bitIndex is the Q offset): 1.0 or 0.0.
    static void readObjectOutputs(const PlcMemory& mem, std::span<ObjectDigitalPoint> points);

    // An operator action on input bit box d (a latching click writes the box's new state,
    // a momentary press on and its release off). A box outside the image is logged
    // " I输入错误" and nothing is written. True when written.
    bool setInputBit(PlcMemory& mem, int d, bool on, const Log& log) const;

private:
    void fillAddresses();
    void fillPages();

    PanelKind kind_;
    int vBytes_;
    int dataType_ = datatype::Bit;
    std::vector<std::string> addresses_;
    std::vector<std::string> pages_;
    int addressIndex_ = 0;
    int pageIndex_ = 0;
    int formatIndex_ = 0;
    int oldDataType_ = -2, oldDataIndex_ = -2, oldShowFormat_ = -2, oldPage_ = -2;
};

// The labels of the input panel.
const char* inputModeLabel(bool momentary);      // "非自锁自复位" / "自锁乒乓按钮"
const char* inputSourceLabel(bool fromObject);   // "输入仿真控制" / "输入手动更改"

// --- analog panel ----------------------------------------------------------------------------

class AnalogPanelModel {
public:
    static constexpr int kPositions = 25;  // AIW0 ... AIW48
    static constexpr int kBoxes = 8;

    AnalogPanelModel();

    static const char* caption() { return "模拟量，不超过32通道，手动更改模式下可以改写AIW"; }
    const std::vector<std::string>& aiwList() const { return aiwList_; }
    const std::vector<std::string>& aqwList() const { return aqwList_; }
    int aiwIndex() const { return aiw_; }
    int aqwIndex() const { return aqw_; }
    // Sets the input caption and the first-channel labels from the rack.
    void chooseAiw(int n, const HardwareConfig& hw);
    void chooseAqw(int m) { aqw_ = m; }
    std::string inputCaption() const;
    std::string outputCaption() const;
    const std::string& moduleLabel() const { return moduleLabel_; }
    const std::string& classLabel() const { return classLabel_; }
    static const char* sourceLabel(bool fromObject) {
        return fromObject ? "输入来自仿真对象" : "输入来自手动控制";
    }

    // Whether the refresh fills the input boxes (object mode, or another position chosen).
    bool inputsDue(bool fromObject) const { return fromObject || aiw_ != lastShown_; }
    void markInputsShown() { lastShown_ = aiw_; }
    int lastShown() const { return lastShown_; }
    // Input box k and output box k as decimal text without blanks.
    std::string inputText(const PlcMemory& mem, int k) const { return wordText(mem, area::AIW, aiw_ + k); }
    std::string outputText(const PlcMemory& mem, int k) const { return wordText(mem, area::AQW, aqw_ + k); }
    static std::string wordText(const PlcMemory& mem, int base, int word);
    // Manual mode: the eight box texts into their AIW words, only when the boxes show the
    // selected position. False when nothing was written.
    bool writeBack(PlcMemory& mem, std::span<const std::string> texts) const;

private:
    std::vector<std::string> aiwList_, aqwList_;
    int aiw_ = 0, aqw_ = 0, lastShown_ = -2;
    std::string moduleLabel_, classLabel_;
};

// --- timer/counter panel ---------------------------------------------------------------------

class TimerCounterPanelModel {
public:
    static constexpr int kSPositions = 30;    // S0 ... S29
    static constexpr int kTCPositions = 249;  // T0 ... T248

    static const char* caption() { return "STC计数器定时器，不能改写"; }
    int sIndex() const { return s_; }
    int timerIndex() const { return t_; }
    int counterIndex() const { return c_; }
    void chooseS(int n) { s_ = n; }
    void chooseTimer(int t) { t_ = t; }
    void chooseCounter(int c) { c_ = c; }
    std::string sCaption(int group) const;  // "S3.7-S3.0"
    std::string timerCaption() const;       // "T37-T40"
    std::string counterCaption() const;     // "C0-C3"
    // Box i of the 24 S boxes: bit i mod 8 of byte S(n + i div 8).
    bool sBit(const PlcMemory& mem, int i) const;
    std::string timerPreset(const PlcMemory& mem, int j) const;
    std::string timerCurrent(const PlcMemory& mem, int j) const;
    std::string counterPreset(const PlcMemory& mem, int j) const;
    std::string counterCurrent(const PlcMemory& mem, int j) const;
    // The resolution of the timer in column j as the real-CPU mode counts it: "1 ms",
    // "10 ms" or "100 ms"; "" past T255.
    std::string timerResolution(int j) const;

private:
    int s_ = 0, t_ = 37, c_ = 0;
};

// A non-negative integer with one leading blank, a negative one with its sign (" 12", "-5").
std::string blankSignedText(long long v);

// --- front panel -----------------------------------------------------------------------------

// The bit-number caption above a lamp row: "0 1 2 3 4 5 6 7 " repeated, one number and a
// blank per point.
std::string lampCaption(int points);

// The lamps of one slot: the bit index of its first input, the Q offset of its first
// output, and the counts.
struct SlotLamps {
    int inputKey = 0, inputs = 0, outputOffset = 0, outputs = 0;
};
SlotLamps slotLamps(const HardwareConfig& hw, int slot);  // 0 CPU, 1 to 7 modules

// --- the main window's log box ---------------------------------------------------------------

// ShowLog's rule on the box's text (counted in UTF-16 units, as the box counts characters):
// a text longer than 6000 is cleared first, then the line and CR LF are appended.
inline constexpr std::size_t kLogLimit = 6000;

}  // namespace korvane

namespace korvane {

// --- program status view ---------------------------------------------------------------------

// The text of a line's status value by its kind: 0 "ON"/"OFF"; 1, 2, 3, 5, 6 decimal with
// one leading blank when not negative; 7 the table real form. nullopt for the other kinds,
// whose cells keep their text.
std::optional<std::string> statusValueText(int kind, double value);

}  // namespace korvane
