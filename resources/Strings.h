#pragma once

// The program's own message texts, shown as they stand.
namespace qm::strings {

inline constexpr const char kOutOfMemory[] = "メモリ不足です";
inline constexpr const char kBadFormat[] = "データフォーマットが異常です";
// Appended directly to a file's full path.
inline constexpr const char kCannotOpen[] = "が開けません";
inline constexpr const char kCannotWrite[] = "に書き込めません";
inline constexpr const char kTruncated[] = "は途中で切れています";

// Follows the scene's name, and the files' full paths each on its line.
inline constexpr const char kSaveChanges[] = " への変更を保存しますか?";
inline constexpr const char kReplaceFiles[] = "は既に存在します。置き換えますか?";

inline constexpr const char kAlreadyLinked[] = "その制御点間は既にリンクされています";
inline constexpr const char kCannotUnlink[] = "そのリンクは切ることができません";

// Exchange formats.
inline constexpr const char kWeldOutOfMemory[] = "メモリが足りません";
inline constexpr const char kWrongFormat[] = "フォーマットが違います";
inline constexpr const char kBadData[] = "データ異常";

} // namespace qm::strings
