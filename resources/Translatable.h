#pragma once

#include <initializer_list>
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

// text with the values in the places of its "%s" (in order) or "%1$s",
// "%2$s" (where a translation reorders them).
inline std::string Fill(const std::string& text, std::initializer_list<std::string> values)
{
    std::string filled;
    size_t next = 0;
    const auto value = [&](size_t n) { return n < values.size() ? values.begin()[n] : std::string(); };
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "%s") == 0) {
            filled += value(next++);
            i += 1;
        } else if (text[i] == '%' && i + 3 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9' &&
                   text.compare(i + 2, 2, "$s") == 0) {
            filled += value(size_t(text[i + 1] - '1'));
            i += 3;
        } else {
            filled += text[i];
        }
    }
    return filled;
}

// The message about path in the program's own words, untranslated.
inline std::string operator+(const std::string& path, AboutFile text)
{
    return Fill(text.format, {path});
}

} // namespace qm
