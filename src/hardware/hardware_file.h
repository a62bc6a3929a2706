#pragma once
// The hardware configuration file (".hd"): one record of eight list positions, the CPU's
// then those of M1 to M7, written as decimal integers on one line. Reading accepts blanks,
// tabs, commas and line breaks between values; the last complete record wins. Analog module
// settings are not part of the file.
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "hardware/hardware_config.h"
#include "platform/log_sink.h"
#include "platform/prompt.h"

namespace korvane {

inline constexpr const char* kMsgHardwareFileBad = "载入硬件配置错误,可能文件格式不对";

// A configuration file is a line or a few; anything far larger is not one.
inline constexpr std::size_t kMaxHardwareFileBytes = 64 * 1024;

using HardwareRecord = std::array<int, HardwareConfig::kRecordCount>;

// The line the file holds: "8 0 0 0 0 0 0 0" and CR LF.
std::string formatHardwareRecord(const HardwareRecord& record);

// The record a file's text applies: the last complete group of eight values. nullopt when
// the text holds a value that is not a decimal integer, fewer than eight values, or a
// position outside the CPU list (0 to 9) or the module lists (0 to 22).
std::optional<HardwareRecord> parseHardwareRecord(std::string_view text);

// Writes the rack's positions to path (created or replaced). The log gets
// "保存硬件配置文件：" and the path; a file that cannot be written logs
// "保存硬件配置文件错误：" and the path instead. An empty path writes nothing.
bool saveHardwareFile(const std::string& path, const HardwareConfig& hw, const Log& log);

// The load command after its dialog: an empty path reads nothing. A file that cannot be
// read or parsed shows kMsgHardwareFileBad and leaves the rack unchanged; otherwise the log
// gets "载入硬件配置文件：" and the path and the record is applied through the choice rules
// (applyPositions, with its messages). In every case the rack is re-allocated and its
// subscribers are told. True when a record was applied in full.
bool loadHardwareFile(const std::string& path, HardwareConfig& hw, const Log& log, Prompt* prompt);

}  // namespace korvane
