#pragma once

namespace qm {

inline constexpr const char kProgramName[] = "Quillomark";
inline constexpr const char kProgramVersion[] = "1.33 FR";

} // namespace qm
