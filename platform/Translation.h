#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/Messages.h"

namespace qm {

// The languages the environment asks for, best first, read as gettext reads
// them: the locale is LC_ALL, else LC_MESSAGES, else LANG; a locale of C or
// POSIX means the program's own texts and nothing else. Otherwise LANGUAGE's
// colon-separated list comes first, then the locale's language. Each "ll_CC"
// is followed by its "ll". LANGUAGE counts also when no locale is set at all,
// as in a fresh container, where gettext itself would ignore it.
std::vector<std::string> RequestedLanguages(const std::function<std::string(const char* name)>& environment);

// The first of the requested languages that has a catalog among the
// available ones, by full name or by its base language; empty when none has.
std::string ChooseLanguage(const std::vector<std::string>& requested, const std::vector<std::string>& available);

// The program's own texts in the language the environment asks for, while an
// object of this class lives (one per process, made before anything is shown).
// The catalogs are the build tree's or the installation's (share/locale
// beside the executable's folder), and the toolkit's own for its buttons.
class Translations {
public:
    Translations();
    ~Translations();
    Translations(const Translations&) = delete;
    Translations& operator=(const Translations&) = delete;

    // The catalog's language, or empty: the source texts.
    const std::string& Language() const { return language_; }

private:
    std::string language_;
};

// A text marked with QM_TEXT (or given to Tr or TrFill as it stands), in the
// user's language (UTF-8); the text itself when there is no translation. A
// menu label keeps its shortcut ("Nouveau\tCtrl+N").
std::string Tr(const char* text);
// A message in the user's language, with its file in the place the
// translation gives it.
std::string Tr(const Message& message);
// Each '|'-separated part of a file dialog's wildcard translated: the labels
// have catalog entries, the patterns none.
std::string TrWildcard(const std::string& wildcard);
// A translated text with the values in their places (see Fill).
std::string TrFill(const char* text, std::initializer_list<std::string> values);

} // namespace qm
