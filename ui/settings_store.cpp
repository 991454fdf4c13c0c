// The settings file: seven of the dialog's fields in section "HostData". Multi-line
// fields keep their line breaks as "・・" (destinations) or ".." (header, footer).
#include <unistd.h>

#include <array>

#include "platform/encoding.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "resources/control_table.h"
#include "resources/strings.h"
#include "ui/qubopost_dlg.h"

namespace {

enum class LineBreaks { AsTyped, MiddleDots, Dots };

struct SettingsKey {
    const char* name;
    int control;
    LineBreaks encoding;
};

constexpr std::array<SettingsKey, 7> kKeys = {{
    {"ID", IDC_AFFILIATE_ID, LineBreaks::AsTyped},
    {"MAIL", IDC_FROM_ADDRESS, LineBreaks::AsTyped},
    {"SMTP", IDC_SMTP_SERVER, LineBreaks::AsTyped},
    {"PORT", IDC_SMTP_PORT, LineBreaks::AsTyped},
    {"BLOGMAIL", IDC_BLOG_ADDRESSES, LineBreaks::MiddleDots},
    {"HEADER", IDC_HEADER, LineBreaks::Dots},
    {"FOOTER", IDC_FOOTER, LineBreaks::Dots},
}};

constexpr const char* kSection = "HostData";

Text LineBreakMark(LineBreaks encoding) {
    return encoding == LineBreaks::MiddleDots ? Sjis("・・") : Text("..");
}

}  // namespace

void CQubopostDlg::LoadSettings() {
    IniDocument settings;
    if (auto bytes = ReadFileBytes(m_services.settingsPath)) settings = IniDocument::Parse(*bytes);
    for (const SettingsKey& key : kKeys) {
        Text value(settings.Get(kSection, key.name).value_or(""));
        if (key.encoding != LineBreaks::AsTyped) value.Replace(LineBreakMark(key.encoding), "\r\n");
        View().SetWindowText(key.control, value);
    }
}

bool CQubopostDlg::SaveSettings() {
    const std::string& path = m_services.settingsPath;
    std::string error;
    IniDocument settings;
    // Keep what else the file holds; a file that exists but can't be read is not overwritten.
    if (auto bytes = ReadFileBytes(path, &error)) {
        settings = IniDocument::Parse(*bytes);
    } else if (access(path.c_str(), F_OK) == 0) {
        View().MessageBox(Text::Format(Sjis(texts::kSettingsSaveFailed), {Sjis(path), Sjis(error)}));
        return false;
    }
    for (const SettingsKey& key : kKeys) {
        Text value = View().GetWindowText(key.control);
        if (key.encoding != LineBreaks::AsTyped) value.Replace("\r\n", LineBreakMark(key.encoding));
        settings.Set(kSection, key.name, value.Bytes());
    }
    const std::string folder = FolderOf(path);
    if (folder.size() > 1) MakeFolders(folder.substr(0, folder.size() - 1));
    if (!WriteFileAtomically(path, settings.Serialize(), &error)) {
        View().MessageBox(Text::Format(Sjis(texts::kSettingsSaveFailed), {Sjis(path), Sjis(error)}));
        return false;
    }
    return true;
}
