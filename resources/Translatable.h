#pragma once

#include <string>

// Marks a text for the translation catalogs (po/): xgettext collects what
// stands inside, and the text itself is unchanged. It is translated where it
// is shown. Text outside the marker in the same literal ("Nouveau" "\tCtrl+N")
// is left to the program.
#define QM_TEXT(text) text

namespace qm {

// A message about one file: the file's full path goes where "%s" stands, so
// that a translation may put it anywhere in its sentence.
struct AboutFile {
    const char* format;
};

// text with path in the place of its "%s".
inline std::string Compose(const std::string& text, const std::string& path)
{
    const size_t at = text.find("%s");
    return at == std::string::npos ? text : text.substr(0, at) + path + text.substr(at + 2);
}

// The message about path in the program's own words, untranslated.
inline std::string operator+(const std::string& path, AboutFile text)
{
    return Compose(text.format, path);
}

} // namespace qm
