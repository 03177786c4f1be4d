// The store's SimpleIni is used for plain UTF-8 text; its wide-character
// converters are not needed.
#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <cstring>

#include <unistd.h>

#include "platform/Files.h"
#include "platform/IniFileSettings.h"

namespace qm {
namespace {

// SimpleIni keeps a comment only with the section or key that follows it, so
// the comments that close a file would be lost at the next save. A section of
// this name, added after the file's text when loading, holds them; saving puts
// them back at the end, after any section the program added.
constexpr char kClosingSection[] = "\x7f closing comments";

} // namespace

struct IniFileSettings::Document {
    CSimpleIniA ini{/*utf8*/ true, /*multiKey*/ false, /*multiLine*/ false};

    explicit Document(std::string text)
    {
        ini.SetSpaces(false); // key=value, as other programs write INI files
        text += "\n[";
        text += kClosingSection;
        text += "]\n";
        ini.LoadData(text);
    }

    void Set(const SettingsEntry& entry)
    {
        ini.SetValue(entry.section.c_str(), entry.key.c_str(), entry.value.c_str());
    }

    // The file's text. Afterwards the document serves only reads.
    std::string TakeText()
    {
        std::string closing;
        CSimpleIniA::TNamesDepend sections;
        ini.GetAllSections(sections);
        for (const CSimpleIniA::Entry& section : sections)
            if (section.pComment && std::strcmp(section.pItem, kClosingSection) == 0)
                closing = section.pComment;
        ini.Delete(kClosingSection, nullptr);

        std::string text;
        ini.Save(text);
        if (!closing.empty())
            text += (text.empty() ? "" : "\n") + closing + "\n";
        return text;
    }
};

IniFileSettings::IniFileSettings(std::string path, SettingsAccess access) : path_(std::move(path)), access_(access)
{
    std::string text;
    if (ReadWholeFile(path_, text, kMaxSettingsBytes) != FileRead::Ok)
        text.clear();
    document_ = std::make_unique<Document>(std::move(text));
}

IniFileSettings::~IniFileSettings() = default;

std::optional<std::string> IniFileSettings::Read(std::string_view section, std::string_view key) const
{
    const char* value = document_->ini.GetValue(std::string(section).c_str(), std::string(key).c_str(), nullptr);
    if (!value)
        return std::nullopt;
    return std::string(value);
}

void IniFileSettings::Write(std::string_view section, std::string_view key, std::string_view value)
{
    SettingsEntry entry{std::string(section), std::string(key), std::string(value)};
    document_->Set(entry);
    if (access_ == SettingsAccess::ReadWrite)
        pending_.push_back(std::move(entry));
}

bool IniFileSettings::Flush()
{
    if (pending_.empty())
        return true;

    std::string text;
    const FileRead read = ReadWholeFile(path_, text, kMaxSettingsBytes);
    if (read == FileRead::Failed || read == FileRead::TooLarge ||
        (read == FileRead::Ok && ::access(path_.c_str(), W_OK) != 0))
        return false;

    auto fresh = std::make_unique<Document>(std::move(text));
    for (const SettingsEntry& entry : pending_)
        fresh->Set(entry);

    const size_t slash = path_.rfind('/');
    if (slash != std::string::npos && slash > 0)
        CreateFolders(path_.substr(0, slash));
    if (!ReplaceFileAtomically(path_, fresh->TakeText()))
        return false;
    document_ = std::move(fresh);
    pending_.clear();
    return true;
}

} // namespace qm
