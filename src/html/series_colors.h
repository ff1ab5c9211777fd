#pragma once
// The eight series colours, in order: chart series k and KPI card k (1-based) take colour
// (k - 1) mod 8.
#include <array>
#include <string_view>

namespace panorello {

inline constexpr std::array<std::string_view, 8> kSeriesColors = {
    "#2563eb", "#16a34a", "#d97706", "#dc2626", "#0891b2", "#7c3aed", "#475569", "#be185d"};

}  // namespace panorello
