#pragma once

// The program's own message texts, shown as they stand.
namespace qm::strings {

inline constexpr const char kOutOfMemory[] = "メモリ不足です";

} // namespace qm::strings
