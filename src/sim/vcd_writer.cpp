#include "sim/vcd_writer.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdio>
#include <tuple>

namespace korvane {

std::string vcdReference(const TraceSignal& s) {
    std::string out;
    for (char c : s.name) out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return out;
}

std::string vcdIdentifier(std::size_t n) {
    constexpr std::size_t kFirst = '!', kCount = '~' - '!' + 1;  // 94 printable characters
    std::string id;
    do {
        id += static_cast<char>(kFirst + n % kCount);
        n /= kCount;
    } while (n-- > 0);
    return id;
}

VcdWriter::VcdWriter(std::ostream& out, std::vector<TraceSignal> traced, std::string date, std::string version)
    : out_(out), signals_(std::move(traced)), date_(std::move(date)), version_(std::move(version)) {
    last_.assign(signals_.size(), 0);
    for (std::size_t i = 0; i < signals_.size(); ++i) ids_.push_back(vcdIdentifier(i));
}

void VcdWriter::writeHeader() {
    if (headerWritten_) return;
    headerWritten_ = true;
    out_ << "$date\n\t" << date_ << "\n$end\n";
    out_ << "$version\n\t" << version_ << "\n$end\n";
    out_ << "$comment\n\tSampled after every program pass. Names and addresses:";
    for (const TraceSignal& s : signals_) out_ << "\n\t" << vcdReference(s) << " " << s.name;
    out_ << "\n$end\n";
    out_ << "$timescale 1 ms $end\n";
    out_ << "$scope module korvane $end\n";
    for (std::size_t i = 0; i < signals_.size(); ++i) {
        const TraceSignal& s = signals_[i];
        if (s.isBit()) out_ << "$var wire 1 " << ids_[i] << " " << vcdReference(s) << " $end\n";
        else if (s.isReal()) out_ << "$var real 32 " << ids_[i] << " " << vcdReference(s) << " $end\n";
        else
            out_ << "$var reg " << s.width() << " " << ids_[i] << " " << vcdReference(s) << " [" << s.width() - 1
                 << ":0] $end\n";
    }
    out_ << "$upscope $end\n$enddefinitions $end\n";
}

void VcdWriter::writeTime(std::int64_t ms) {
    ms = std::max(ms, lastTime_);
    if (ms == lastTime_) return;
    out_ << "#" << ms << "\n";
    lastTime_ = ms;
}

void VcdWriter::writeValue(std::size_t i, std::optional<std::uint32_t> value) {
    const TraceSignal& s = signals_[i];
    if (value) last_[i] = *value;
    if (s.isBit()) {
        out_ << (value ? (*value ? '1' : '0') : 'x') << ids_[i] << "\n";
    } else if (s.isReal()) {
        // A real has no unknown value in a dump; one not known yet is written as 0.
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.9g", value ? static_cast<double>(std::bit_cast<float>(*value)) : 0.0);
        out_ << "r" << buf << " " << ids_[i] << "\n";
    } else if (!value) {
        out_ << "bx " << ids_[i] << "\n";
    } else {
        // Leading zeros are left out (a shorter value is extended with 0).
        int top = s.width() - 1;
        while (top > 0 && !((*value >> top) & 1u)) --top;
        out_ << 'b';
        for (int b = top; b >= 0; --b) out_ << (((*value >> b) & 1u) ? '1' : '0');
        out_ << " " << ids_[i] << "\n";
    }
}

void VcdWriter::dumpVars(std::int64_t ms, const std::vector<std::optional<std::uint32_t>>& values) {
    writeHeader();
    writeTime(ms);
    out_ << "$dumpvars\n";
    for (std::size_t i = 0; i < signals_.size(); ++i) writeValue(i, i < values.size() ? values[i] : std::nullopt);
    out_ << "$end\n";
    dumped_ = true;
}

void VcdWriter::sample(std::int64_t ms, const std::vector<std::uint32_t>& values) {
    if (!dumped_) {
        dumpVars(ms, std::vector<std::optional<std::uint32_t>>(values.begin(), values.end()));
        return;
    }
    bool timeWritten = false;
    for (std::size_t i = 0; i < signals_.size() && i < values.size(); ++i) {
        if (values[i] == last_[i]) continue;
        if (!timeWritten) writeTime(ms), timeWritten = true;
        writeValue(i, values[i]);
    }
}

void VcdWriter::sample(std::int64_t ms, const PlcMemory& mem) {
    scratch_.resize(signals_.size());
    for (std::size_t i = 0; i < signals_.size(); ++i) scratch_[i] = sampleSignal(mem, signals_[i]);
    sample(ms, scratch_);
}

void VcdWriter::change(std::int64_t ms, std::size_t signal, std::uint32_t value) {
    if (signal >= signals_.size()) return;
    writeHeader();
    writeTime(ms);
    writeValue(signal, value);
}

void VcdWriter::finish(std::int64_t ms) {
    writeHeader();
    if (ms > lastTime_) writeTime(ms);
    out_.flush();
}

void writeRecorderVcd(std::ostream& out, const SignalRecorder& rec, const std::string& date, const std::string& version) {
    std::vector<TraceSignal> traced;
    for (std::size_t i = 0; i < rec.size(); ++i) traced.push_back(rec.signal(i));
    VcdWriter w(out, traced, date, version);
    const std::int64_t start = std::max<std::int64_t>(rec.firstMs(), 0);
    std::vector<std::optional<std::uint32_t>> first;
    // Every later change, merged in time order (signal order within one time).
    std::vector<std::tuple<std::int64_t, std::size_t, std::uint32_t>> later;
    for (std::size_t i = 0; i < rec.size(); ++i) {
        first.push_back(rec.valueAt(i, start));
        for (const auto& c : rec.changes(i))
            if (c.ms > start) later.emplace_back(c.ms, i, c.value);
    }
    std::sort(later.begin(), later.end());
    w.dumpVars(start, first);
    for (const auto& [ms, i, value] : later) w.change(ms, i, value);
    w.finish(std::max(start, rec.lastMs()));
}

}  // namespace korvane
