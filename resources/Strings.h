#pragma once

#include "resources/Translatable.h"

// The program's own message texts, shown as they stand unless the user's
// language has a catalog.
namespace qm::strings {

// A message about a file is given the file's full path: a translation may
// place it with "%s" even where the program's own text does not name it.
inline constexpr const char kOutOfMemory[] = QM_TEXT("メモリ不足です");
// TRANSLATORS: the file's full path goes where you write %s.
inline constexpr const char kBadFormat[] = QM_TEXT("データフォーマットが異常です");
inline constexpr AboutFile kCannotOpen{QM_TEXT("%sが開けません")};
inline constexpr AboutFile kCannotWrite{QM_TEXT("%sに書き込めません")};
inline constexpr AboutFile kTruncated{QM_TEXT("%sは途中で切れています")};
// TRANSLATORS: %s is one or more names of texture files, as the model file gives them.
inline constexpr AboutFile kNotFound{QM_TEXT("%sが見つかりません")};
inline constexpr const char kTimedOut[] = QM_TEXT("制限時間内に終わりませんでした");

// TRANSLATORS: %s is the scene's name.
inline constexpr const char kSaveChanges[] = QM_TEXT("%s への変更を保存しますか?");
// TRANSLATORS: %s is the files' full paths, each on a line of its own.
inline constexpr const char kReplaceFiles[] = QM_TEXT("%sは既に存在します。置き換えますか?");

inline constexpr const char kAlreadyLinked[] = QM_TEXT("その制御点間は既にリンクされています");
inline constexpr const char kCannotUnlink[] = QM_TEXT("そのリンクは切ることができません");
inline constexpr const char kCannotFitSkeleton[] = QM_TEXT("骨格をモデルに合わせることができません");

// Exchange formats.
// TRANSLATORS: in these three, the file's full path goes where you write %s.
inline constexpr const char kWeldOutOfMemory[] = QM_TEXT("メモリが足りません");
inline constexpr const char kWrongFormat[] = QM_TEXT("フォーマットが違います");
inline constexpr const char kBadData[] = QM_TEXT("データ異常");

// The overlay's two lines: the counts, and the frame rate.
inline constexpr const char kOverlayCounts[] = QM_TEXT("%s poly / %s vertex");
inline constexpr const char kOverlayRate[] = QM_TEXT("%s FPS");

// Without a GL context nothing can be drawn; the program ends after this.
inline constexpr const char kNoContext[] = QM_TEXT("OpenGLの初期化に失敗しました");

} // namespace qm::strings
