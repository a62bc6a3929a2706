#include "sim/panel_models.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/timers_counters.h"
#include "hardware/analog_settings.h"
#include "sim/display_format.h"
#include "sim/status_table.h"

namespace korvane {

namespace {

constexpr const char* kTypeNames[datatype::Count] = {"bit", "byte", "word", "dword", "sbyte", "int", "long", "float"};
constexpr const char* kFormatNames[kFormatCount] = {"十六进制", "十进制", "二进制"};
constexpr int kFormatCodes[kFormatCount] = {showformat::Hex, showformat::Decimal, showformat::Binary};

// Bytes of an area the panels may show: I and Q 16, M 32; V what the image holds.
constexpr int kImageVBytes = (area::Edge - area::V) / 8;

std::string num(long long v) { return std::to_string(v); }

bool isSigned(int type) { return type == datatype::SByte || type == datatype::Int || type == datatype::Long; }

}  // namespace

const char* dataTypeName(int type) { return type >= 0 && type < datatype::Count ? kTypeNames[type] : ""; }
const char* formatListName(int position) { return position >= 0 && position < kFormatCount ? kFormatNames[position] : ""; }
int formatCodeAt(int position) { return position >= 0 && position < kFormatCount ? kFormatCodes[position] : showformat::Hex; }

PanelView viewOf(int dataType) {
    switch (dataType) {
    case datatype::Bit: return PanelView::Bit;
    case datatype::Byte:
    case datatype::SByte: return PanelView::Byte;
    case datatype::Word:
    case datatype::Int: return PanelView::Word;
    default: return PanelView::DWord;
    }
}

int boxCountOf(PanelView v) {
    switch (v) {
    case PanelView::Bit: return 48;
    case PanelView::Byte: return 16;
    case PanelView::Word: return 8;
    case PanelView::DWord: return 4;
    }
    return 0;
}
int groupCountOf(PanelView v) { return v == PanelView::Bit ? 6 : 2; }
int boxesPerGroup(PanelView v) { return v == PanelView::Bit ? 8 : boxCountOf(v) / 2; }

// --- BitBytePanelModel ---------------------------------------------------------------------

BitBytePanelModel::BitBytePanelModel(PanelKind kind, int vMemoryBytes) : kind_(kind), vBytes_(vMemoryBytes) {
    chooseDataType(datatype::Bit);
}

std::string BitBytePanelModel::caption() const {
    switch (kind_) {
    case PanelKind::Input: return "DI数字量输入，手动更改模式下可以改写";
    case PanelKind::Output: return "DQ数字量输出，不能改写";
    case PanelKind::M: return "M区数据，不能改写";
    case PanelKind::V: return "V变量区，不能改写";
    }
    return {};
}

char BitBytePanelModel::areaLetter() const {
    switch (kind_) {
    case PanelKind::Input: return 'I';
    case PanelKind::Output: return 'Q';
    case PanelKind::M: return 'M';
    case PanelKind::V: return 'V';
    }
    return '?';
}

int BitBytePanelModel::areaBase() const {
    switch (kind_) {
    case PanelKind::Input: return area::I;
    case PanelKind::Output: return area::Q;
    case PanelKind::M: return area::M;
    case PanelKind::V: return area::V;
    }
    return 0;
}

namespace {
// The size letter of a list entry: B for the bit and byte views, W and D for the others.
char sizeLetter(PanelView v) {
    switch (v) {
    case PanelView::Word: return 'W';
    case PanelView::DWord: return 'D';
    default: return 'B';
    }
}
}  // namespace

void BitBytePanelModel::fillAddresses() {
    addresses_.clear();
    const std::string prefix = std::string(1, areaLetter()) + sizeLetter(view());
    if (kind_ == PanelKind::V) {
        const int lastPage = vBytes_ / 100;
        int last = 94;
        if (pageIndex_ == lastPage) last = vBytes_ % 100 - 5;
        last = std::max(last, 0);  // a page too short for a double word still offers its start
        for (int j = 0; j <= last; ++j) addresses_.push_back(prefix + num(j));
    } else {
        int count = 1;
        if (kind_ == PanelKind::M) count = dataType_ == datatype::Bit ? 27 : 16;
        else if (dataType_ == datatype::Bit) count = 11;
        for (int j = 0; j < count; ++j) addresses_.push_back(prefix + num(j));
    }
    addressIndex_ = 0;
}

void BitBytePanelModel::fillPages() {
    pages_.clear();
    const std::string prefix = std::string("V") + sizeLetter(view());
    for (int k = 0; k <= vBytes_ / 100; ++k) pages_.push_back(prefix + num(100 * k));
    pageIndex_ = 0;
}

void BitBytePanelModel::chooseDataType(int type) {
    if (type < 0 || type >= datatype::Count) return;
    dataType_ = type;
    if (kind_ == PanelKind::V) fillPages();
    fillAddresses();
}

void BitBytePanelModel::chooseAddress(int index) {
    if (index >= 0 && index < static_cast<int>(addresses_.size())) addressIndex_ = index;
}

void BitBytePanelModel::choosePage(int index) {
    if (kind_ != PanelKind::V || index < 0 || index >= static_cast<int>(pages_.size())) return;
    pageIndex_ = index;
    fillAddresses();
}

void BitBytePanelModel::chooseFormat(int index) {
    if (index >= 0 && index < kFormatCount) formatIndex_ = index;
}

void BitBytePanelModel::setVMemoryBytes(int bytes) {
    if (bytes == vBytes_) return;
    vBytes_ = bytes;
    if (kind_ == PanelKind::V) chooseDataType(dataType_);
}

int BitBytePanelModel::startByte() const {
    return addressIndex_ + (kind_ == PanelKind::V ? 100 * pageIndex_ : 0);
}

std::string BitBytePanelModel::groupCaption(int group) const {
    const std::string a(1, areaLetter());
    const int s = startByte();
    switch (view()) {
    case PanelView::Bit: return a + num(s + group) + ".7-" + a + num(s + group) + ".0";
    case PanelView::Byte: return a + "B" + num(s + 8 * group) + "-" + a + "B" + num(s + 8 * group + 7);
    case PanelView::Word: return a + "W" + num(s + 8 * group) + "-" + a + "W" + num(s + 8 * group + 6);
    case PanelView::DWord: return a + "D" + num(s + 8 * group) + "-" + a + "D" + num(s + 8 * group + 4);
    }
    return {};
}

int BitBytePanelModel::boxKey(int d) const {
    const int s = startByte();
    switch (view()) {
    case PanelView::Bit: return areaBase() + 8 * (s + d / 8) + d % 8;
    case PanelView::Byte: return areaBase() + 8 * (s + d);
    case PanelView::Word: return areaBase() + 8 * (s + 2 * d);
    case PanelView::DWord: return areaBase() + 8 * (s + 4 * d);
    }
    return areaBase();
}

std::optional<int> BitBytePanelModel::bitBoxOf(int key) const {
    if (view() != PanelView::Bit || selectionChanged()) return std::nullopt;
    const int d = key - boxKey(0);
    if (d < 0 || d >= boxCount() || !boxInImage(d)) return std::nullopt;
    return d;
}

int BitBytePanelModel::width() const {
    switch (view()) {
    case PanelView::Bit: return 1;
    case PanelView::Byte: return 8;
    case PanelView::Word: return 16;
    case PanelView::DWord: return 32;
    }
    return 1;
}

bool BitBytePanelModel::boxInImage(int d) const {
    if (d < 0 || d >= boxCount()) return false;
    const int lastCell = boxKey(d) + std::max(width(), 1) - 1;
    if (kind_ == PanelKind::V) return lastCell < area::V + 8 * kImageVBytes;
    return PlcMemory::inImage(lastCell);
}

bool BitBytePanelModel::bitOn(const PlcMemory& mem, int d) const {
    return boxInImage(d) && mem.cells()[boxKey(d)] == kOn;
}

std::string BitBytePanelModel::boxText(const PlcMemory& mem, int d) const {
    if (!boxInImage(d)) return {};
    const int key = boxKey(d);
    const int w = width();
    if (dataType_ == datatype::Float) return panelRealForm(mem.GetRealValue(key));
    double pattern = 0;
    switch (w) {
    case 8: pattern = mem.GetByteValue(key); break;
    case 16: pattern = mem.GetWordValue(key); break;
    default: pattern = mem.GetDWordValue(key); break;
    }
    switch (formatCode()) {
    case showformat::Decimal: return decimalForm(isSigned(dataType_) ? signedReading(pattern, w) : pattern, w);
    case showformat::Binary: return binaryForm(pattern, w);
    default: return hexForm(pattern, w);
    }
}

bool BitBytePanelModel::selectionChanged() const {
    return dataType_ != oldDataType_ || addressIndex_ != oldDataIndex_ || formatIndex_ != oldShowFormat_ ||
           (kind_ == PanelKind::V && pageIndex_ != oldPage_);
}

void BitBytePanelModel::markRendered() {
    oldDataType_ = dataType_;
    oldDataIndex_ = addressIndex_;
    oldShowFormat_ = formatIndex_;
    oldPage_ = pageIndex_;
}

std::optional<double> BitBytePanelModel::readBoxText(std::string_view text, int format) {
    std::string s;
    for (char ch : text)
        if (ch != ' ' && ch != ',' && ch != '\t') s += ch;
    if (s.empty()) return 0.0;
    if (format == showformat::Decimal) {
        bool negative = false;
        std::size_t i = 0;
        if (s[0] == '-' || s[0] == '+') {
            negative = s[0] == '-';
            i = 1;
        }
        if (i == s.size()) return std::nullopt;
        double v = 0;
        for (; i < s.size(); ++i) {
            if (s[i] < '0' || s[i] > '9') return std::nullopt;
            v = v * 10 + (s[i] - '0');
        }
        return negative ? -v : v;
    }
    const int base = format == showformat::Binary ? 2 : 16;
    double v = 0;
    for (char ch : s) {
        int digit = -1;
        if (ch >= '0' && ch <= '9') digit = ch - '0';
        else if (ch >= 'A' && ch <= 'F') digit = ch - 'A' + 10;
        else if (ch >= 'a' && ch <= 'f') digit = ch - 'a' + 10;
        if (digit < 0 || digit >= base) return std::nullopt;
        v = v * base + digit;
    }
    return v;
}

bool BitBytePanelModel::writeBackBits(PlcMemory& mem, std::span<const bool> checked) const {
    if (selectionChanged() || view() != PanelView::Bit) return false;
    const int n = std::min(static_cast<int>(checked.size()), boxCount());
    for (int d = 0; d < n; ++d)
        if (boxInImage(d)) mem.cells()[boxKey(d)] = checked[static_cast<std::size_t>(d)] ? kOn : kOff;
    return true;
}

bool BitBytePanelModel::writeBackValues(PlcMemory& mem, std::span<const std::string> texts) const {
    if (selectionChanged() || view() == PanelView::Bit) return false;
    const int n = std::min(static_cast<int>(texts.size()), boxCount());
    const int w = width();
    for (int d = 0; d < n; ++d) {
        if (!boxInImage(d)) continue;
        const std::string& t = texts[static_cast<std::size_t>(d)];
        if (dataType_ == datatype::Float) {
            // A typed real is stored, as a user expects of an editable box.
            const std::string s = [&] {
                std::string r;
                for (char ch : t)
                    if (ch != ' ' && ch != ',') r += ch;
                return r;
            }();
            char* end = nullptr;
            const double r = std::strtod(s.c_str(), &end);
            if (s.empty() || *end || !std::isfinite(r) || std::fabs(r) > 3.4028234663852886e38) continue;
            try {
                mem.SetRealValue(boxKey(d), r);
            } catch (const PlcFault&) {
            }
            continue;
        }
        const auto v = readBoxText(t, formatCode());
        if (!v) continue;
        // Keep the low bits of the width, so that an over-long entry cannot fault the writer.
        const double modulus = std::ldexp(1.0, w);
        double pattern = std::fmod(*v, modulus);
        if (pattern < 0) pattern += modulus;
        mem.tobit(pattern, boxKey(d), w);
    }
    return true;
}

void BitBytePanelModel::writeObjectInputs(PlcMemory& mem, std::span<const ObjectDigitalPoint> points) {
    for (const auto& p : points)
        if (p.bitIndex >= area::I && p.bitIndex < area::Q) mem.cells()[p.bitIndex] = p.value > 0 ? kOn : kOff;
}

void BitBytePanelModel::readObjectOutputs(const PlcMemory& mem, std::span<ObjectDigitalPoint> points) {
    for (auto& p : points)
        if (p.bitIndex >= 0 && p.bitIndex < area::M - area::Q) p.value = mem.cells()[area::Q + p.bitIndex] ? 1.0 : 0.0;
}

bool BitBytePanelModel::setInputBit(PlcMemory& mem, int d, bool on, const Log& log) const {
    if (!boxInImage(d) || view() != PanelView::Bit) {
        log.stamped(" I输入错误");
        return false;
    }
    mem.cells()[boxKey(d)] = on ? kOn : kOff;
    return true;
}

const char* inputModeLabel(bool momentary) { return momentary ? "非自锁自复位" : "自锁乒乓按钮"; }
const char* inputSourceLabel(bool fromObject) { return fromObject ? "输入仿真控制" : "输入手动更改"; }

// --- AnalogPanelModel ----------------------------------------------------------------------

AnalogPanelModel::AnalogPanelModel() {
    for (int n = 0; n < kPositions; ++n) {
        aiwList_.push_back("AIW" + num(2 * n));
        aqwList_.push_back("AQW" + num(2 * n));
    }
}

void AnalogPanelModel::chooseAiw(int n, const HardwareConfig& hw) {
    if (n < 0 || n >= kPositions) return;
    aiw_ = n;
    const AnalogChannelOwner owner = hw.analogInputOwner(n);
    if (owner.slot >= 1 && owner.slot <= HardwareConfig::kSlotCount) {
        moduleLabel_ = "AIO模块：" + blankSignedText(owner.slot);
        if (auto cls = signalClassOf(hw.record(owner.slot).inputRange)) classLabel_ = *cls;
    } else {
        moduleLabel_ = "不在AI模块中";
        classLabel_ = "通道未指定";
    }
}

std::string AnalogPanelModel::inputCaption() const { return "AIW" + num(2 * aiw_) + " -AIW" + num(2 * aiw_ + 14); }
std::string AnalogPanelModel::outputCaption() const { return "AQW" + num(2 * aqw_) + " -AQW" + num(2 * aqw_ + 14); }

std::string AnalogPanelModel::wordText(const PlcMemory& mem, int base, int word) {
    if (word < 0 || word >= 32) return {};
    return num(static_cast<long long>(mem.GetIntValue(base + 16 * word)));
}

bool AnalogPanelModel::writeBack(PlcMemory& mem, std::span<const std::string> texts) const {
    if (aiw_ != lastShown_) return false;
    const int n = std::min(static_cast<int>(texts.size()), kBoxes);
    for (int k = 0; k < n; ++k)
        mem.tobit(leadingNumber(texts[static_cast<std::size_t>(k)]), area::AIW + 16 * (aiw_ + k), 16);
    return true;
}

// --- TimerCounterPanelModel ----------------------------------------------------------------

std::string TimerCounterPanelModel::sCaption(int group) const {
    const int b = s_ + group;
    return "S" + num(b) + ".7-S" + num(b) + ".0";
}
std::string TimerCounterPanelModel::timerCaption() const { return "T" + num(t_) + "-T" + num(t_ + 3); }
std::string TimerCounterPanelModel::counterCaption() const { return "C" + num(c_) + "-C" + num(c_ + 3); }

bool TimerCounterPanelModel::sBit(const PlcMemory& mem, int i) const {
    const int key = area::S + 8 * (s_ + i / 8) + i % 8;
    return key < area::AC && mem.cells()[key] == kOn;
}

namespace {
const TimerCounterRecord* recordAt(const std::array<TimerCounterRecord, 256>& recs, int n) {
    return n >= 0 && n < 256 ? &recs[static_cast<std::size_t>(n)] : nullptr;
}
}  // namespace

std::string TimerCounterPanelModel::timerPreset(const PlcMemory& mem, int j) const {
    const auto* r = recordAt(mem.timers(), t_ + j);
    return r ? blankSignedText(r->Preset) : std::string();
}
std::string TimerCounterPanelModel::timerCurrent(const PlcMemory& mem, int j) const {
    const auto* r = recordAt(mem.timers(), t_ + j);
    return r ? blankSignedText(r->Current) : std::string();
}
std::string TimerCounterPanelModel::counterPreset(const PlcMemory& mem, int j) const {
    const auto* r = recordAt(mem.counters(), c_ + j);
    return r ? blankSignedText(r->Preset) : std::string();
}
std::string TimerCounterPanelModel::counterCurrent(const PlcMemory& mem, int j) const {
    const auto* r = recordAt(mem.counters(), c_ + j);
    return r ? blankSignedText(r->Current) : std::string();
}

std::string TimerCounterPanelModel::timerResolution(int j) const {
    const int n = t_ + j;
    return n >= 0 && n < 256 ? num(timerResolutionMs(n)) + " ms" : std::string();
}

std::string blankSignedText(long long v) { return v < 0 ? num(v) : " " + num(v); }

// --- front panel ---------------------------------------------------------------------------

std::string lampCaption(int points) {
    std::string s;
    for (int k = 0; k < points; ++k) {
        s += static_cast<char>('0' + k % 8);
        s += ' ';
    }
    return s;
}

SlotLamps slotLamps(const HardwareConfig& hw, int slot) {
    const CatalogueEntry& r = hw.record(slot);
    SlotLamps l;
    l.inputKey = area::I + r.inputFirst;
    l.inputs = std::max(r.digitalInputs, 0);
    l.outputOffset = r.outputFirst;
    l.outputs = std::max(r.digitalOutputs, 0);
    return l;
}

}  // namespace korvane

namespace korvane {

std::optional<std::string> statusValueText(int kind, double value) {
    switch (kind) {
    case 0: return std::string(value != 0 ? "ON" : "OFF");
    case 1:
    case 2:  // a word: the value as read, in decimal like the other integers
    case 3:
    case 5:
    case 6: {
        if (!std::isfinite(value)) return std::string(" 0");
        const double r = std::round(value);
        if (r >= 9.2e18 || r <= -9.2e18) return std::nullopt;
        return blankSignedText(static_cast<long long>(r));
    }
    case 7: return tableRealForm(value);
    default: return std::nullopt;
    }
}

}  // namespace korvane
