#pragma once

namespace trivane {

// What a link reports of itself in its status-grid column.
enum class LineStatus : int { None = 0, Connected = 1, Wait = 2, Error = 3 };

// The status-grid columns, one per link.
namespace status_column {
inline constexpr int kLabels = 0;
inline constexpr int kStudioSource = 1;
inline constexpr int kFirstSource = 2;  // TCP sources 1..4 are columns 2..5
inline constexpr int kStudioDest = 6;
inline constexpr int kServer = 7;
inline constexpr int kOnline = 8;
}  // namespace status_column

}  // namespace trivane
