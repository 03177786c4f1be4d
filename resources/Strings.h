#pragma once

// The program's own message texts, shown as they stand.
namespace qm::strings {

inline constexpr const char kOutOfMemory[] = "メモリ不足です";

// Exchange formats. A file that cannot be opened is named by its full path
// directly followed by kCannotOpenSuffix.
inline constexpr const char kCannotOpenSuffix[] = "が開けません";
inline constexpr const char kWeldOutOfMemory[] = "メモリが足りません";
inline constexpr const char kWrongFormat[] = "フォーマットが違います";
inline constexpr const char kBadData[] = "データ異常";

} // namespace qm::strings
