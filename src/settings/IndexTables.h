#pragma once

#include <array>
#include <optional>

namespace quillet {

inline constexpr std::array<int, 9> FrequencyTable = {8000,  11025, 12000, 16000, 22050,
                                                      24000, 32000, 44100, 48000};
inline constexpr std::array<int, 17> BitrateTable = {8,  16,  24,  32,  40,  48,  56,  64, 80,
                                                     96, 112, 128, 160, 192, 224, 256, 320};
inline constexpr std::array<int, 2> BitsTable = {8, 16};

// A stored index looked up in its table; empty when it lies outside (a hand-edited file).
template <typename Table>
std::optional<int> LookUp(const Table& table, int index) {
    if (index < 0 || index >= static_cast<int>(table.size())) return std::nullopt;
    return table[static_cast<size_t>(index)];
}

}  // namespace quillet
