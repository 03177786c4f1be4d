#pragma once

#include <string>

namespace qm {

// Replaces the file at path with bytes, or leaves it as it was: the bytes go
// to a temporary file beside it, which is flushed to disk and then renamed
// over path. Returns false (and leaves no temporary file behind) when any step
// fails. A new file gets the usual permissions; an existing one keeps its own.
bool WriteFileAtomically(const std::string& path, const std::string& bytes);

} // namespace qm
