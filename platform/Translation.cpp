#include "platform/Translation.h"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include <wx/filefn.h>
#include <wx/utils.h>
#include <wx/translation.h>

namespace qm {

namespace {

constexpr char kDomain[] = "quillomark";

bool IsCLocale(const std::string& locale)
{
    return locale == "C" || locale == "POSIX";
}

// "ja_JP.UTF-8@mod" gives "ja_JP" then "ja"; "C.UTF-8" names no language.
void AddLanguage(std::string entry, std::vector<std::string>& languages)
{
    entry = entry.substr(0, entry.find_first_of(".@"));
    if (entry.empty() || IsCLocale(entry))
        return;
    for (const std::string& name : {entry, entry.substr(0, entry.find('_'))})
        if (std::find(languages.begin(), languages.end(), name) == languages.end())
            languages.push_back(name);
}

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Where the catalogs are: share/locale beside the executable's folder (the
// build tree lays them out so too), then the installation's, then the
// toolkit's for its own catalog.
std::vector<std::string> CatalogFolders()
{
    std::vector<std::string> folders;
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error)
        folders.push_back((executable.parent_path().parent_path() / "share" / "locale").string());
    folders.push_back(QM_LOCALEDIR);
    folders.push_back(wxGetInstallPrefix().utf8_string() + "/share/locale");
    return folders;
}

std::string CatalogPath(const std::string& folder, const std::string& language, const std::string& domain)
{
    return folder + "/" + language + "/LC_MESSAGES/" + domain + ".mo";
}

// Catalogs looked up in fixed folders only: the toolkit's own loader would
// ask for an application object, which the batch modes do not have.
class FolderLoader final : public wxTranslationsLoader {
public:
    explicit FolderLoader(std::vector<std::string> folders) : folders_(std::move(folders)) {}

    wxMsgCatalog* LoadCatalog(const wxString& domain, const wxString& language) override
    {
        for (const std::string& folder : folders_) {
            const std::string path = CatalogPath(folder, language.ToStdString(), domain.ToStdString());
            if (wxFileExists(path))
                return wxMsgCatalog::CreateFromFile(path, domain);
        }
        return nullptr;
    }
    wxArrayString GetAvailableTranslations(const wxString& domain) const override
    {
        wxArrayString languages;
        for (const std::string& language : Available(domain.ToStdString()))
            languages.push_back(language);
        return languages;
    }
    std::vector<std::string> Available(const std::string& domain) const
    {
        std::vector<std::string> languages;
        for (const std::string& folder : folders_) {
            std::error_code error;
            for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
                const std::string language = entry.path().filename().string();
                if (std::filesystem::exists(CatalogPath(folder, language, domain), error))
                    languages.push_back(language);
            }
        }
        return languages;
    }

private:
    std::vector<std::string> folders_;
};

// The toolkit's own texts (file dialogs, the buttons of questions) come from
// the C library's gettext, which follows the process's messages category;
// wxWidgets keeps GTK from setting it, so it is set here: from the
// environment's locale when that is installed. Where no locale is set, or the
// one set is not installed, as in a fresh container, gettext would stay in C,
// where it ignores LANGUAGE: messages then follow C.UTF-8, which is always
// there, and LANGUAGE, which names the chosen language unless the user named
// some. Nothing else of the locale changes, so numbers are read and written
// as before.
void LetToolkitFollow(const std::string& language)
{
    const std::string locale = Environment("LC_ALL") + Environment("LC_MESSAGES") + Environment("LANG");
    if (locale_t available = newlocale(LC_ALL_MASK, "", nullptr)) {
        freelocale(available);
        if (!locale.empty()) {
            std::setlocale(LC_MESSAGES, "");
            return;
        }
    }
    setenv("LC_MESSAGES", "C.UTF-8", 1);
    std::setlocale(LC_MESSAGES, "C.UTF-8");
    setenv("LANGUAGE", language.c_str(), 0);
}

} // namespace

std::vector<std::string> RequestedLanguages(const std::function<std::string(const char* name)>& environment)
{
    std::string locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (locale.empty())
            locale = environment(name);
    std::vector<std::string> languages;
    if (IsCLocale(locale))
        return languages;
    const std::string list = environment("LANGUAGE");
    for (size_t start = 0; start <= list.size();) {
        const size_t end = std::min(list.find(':', start), list.size());
        AddLanguage(list.substr(start, end - start), languages);
        start = end + 1;
    }
    AddLanguage(locale, languages);
    return languages;
}

std::string ChooseLanguage(const std::vector<std::string>& requested, const std::vector<std::string>& available)
{
    for (const std::string& language : requested)
        if (std::find(available.begin(), available.end(), language) != available.end())
            return language;
    return {};
}

Translations::Translations()
{
    auto loader = std::make_unique<FolderLoader>(CatalogFolders());
    language_ = ChooseLanguage(RequestedLanguages(Environment), loader->Available(kDomain));
    if (language_.empty())
        return;
    LetToolkitFollow(language_);
    auto translations = std::make_unique<wxTranslations>();
    translations->SetLoader(loader.release());
    translations->SetLanguage(language_);
    translations->AddCatalog(kDomain);
    translations->AddStdCatalog();
    wxTranslations::Set(translations.release());
}

Translations::~Translations()
{
    if (!language_.empty())
        wxTranslations::Set(nullptr);
}

std::string Tr(const char* text)
{
    // An empty text would find the catalog's header.
    const wxTranslations* translations = wxTranslations::Get();
    if (!translations || !*text)
        return text;
    // A menu label's shortcut, after a tab, is the toolkit's to show.
    if (const char* tab = std::strchr(text, '\t'))
        return Tr(std::string(text, tab).c_str()) + tab;
    const wxString* found = translations->GetTranslatedString(wxString::FromUTF8(text));
    return found ? found->utf8_string() : std::string(text);
}

std::string Tr(const Message& message)
{
    return message.aboutFile ? Fill(Tr(message.text), {message.path}) : Tr(message.text);
}

std::string TrWildcard(const std::string& wildcard)
{
    std::string translated;
    for (size_t start = 0; start <= wildcard.size();) {
        const size_t end = std::min(wildcard.find('|', start), wildcard.size());
        translated += Tr(wildcard.substr(start, end - start).c_str());
        if (end < wildcard.size())
            translated += '|';
        start = end + 1;
    }
    return translated;
}

std::string TrFill(const char* text, std::initializer_list<std::string> values)
{
    return Fill(Tr(text), values);
}

} // namespace qm
