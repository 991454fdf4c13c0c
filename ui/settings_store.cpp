// The settings file: seven of the dialog's fields in section "HostData", as the classic
// program reads and writes them. Multi-line fields keep their line breaks as "・・"
// (destinations) or ".." (header, footer). What that format can't hold (two dots in a
// row, characters without a Shift-JIS form) is kept as well in a section of our own,
// UTF-8 with escaped line breaks, and used only while it still matches "HostData": a
// value edited since by the classic program or by hand wins.
#include <array>

#include "platform/encoding.h"
#include "platform/field_text.h"
#include "platform/profile.h"
#include "resources/control_table.h"
#include "resources/strings.h"
#include "settings/settings_file.h"
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
constexpr const char* kWindowKey = "Window";

Text LineBreakMark(LineBreaks encoding) {
    return encoding == LineBreaks::MiddleDots ? Sjis("・・") : Text("..");
}

// A field's text as the classic format stores it.
std::string ClassicEncode(const std::string& utf8, LineBreaks encoding) {
    Text value = FieldToSjis(utf8);
    if (encoding != LineBreaks::AsTyped) value.Replace("\r\n", LineBreakMark(encoding));
    // One-line values can't hold line ends; the file writer turns them into blanks.
    std::string bytes = value.Bytes();
    for (char& c : bytes)
        if (c == '\r' || c == '\n') c = ' ';
    return bytes;
}

Text ClassicDecode(const std::string& stored, LineBreaks encoding) {
    Text value(stored);
    if (encoding != LineBreaks::AsTyped) value.Replace(LineBreakMark(encoding), "\r\n");
    return value;
}

// UTF-8 with "\\" for a backslash and "\n" for a line break (CR LF in the field).
std::string EscapeLossless(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') {
            out += "\\n";
            ++i;
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string UnescapeLossless(const std::string& stored) {
    std::string out;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] != '\\' || i + 1 == stored.size()) {
            out += stored[i];
            continue;
        }
        const char next = stored[++i];
        if (next == 'n') {
            out += "\r\n";
        } else if (next == 'r') {
            out += '\r';
        } else {
            out += next;  // "\\" and anything unknown: the character itself
        }
    }
    return out;
}

// Whether the classic format gives the value back exactly as it is.
bool SurvivesClassic(const std::string& utf8, LineBreaks encoding) {
    return ToUtf8(ClassicDecode(ClassicEncode(utf8, encoding), encoding)) == utf8;
}

}  // namespace

void CQubopostDlg::LoadSettings() {
    const SettingsRead read = ReadSettingsFile(m_services.settingsPath);
    m_settingsReadable = read.state == SettingsRead::State::Read || read.state == SettingsRead::State::Missing;
    if (!m_settingsReadable) {
        ShowMessage("設定ファイルを読み込めませんでした。\n" + m_services.settingsPath + "\n（" + read.reason +
                    "）\n前回の設定は使わずに起動します。このファイルには保存しません。");
    }
    const IniDocument settings = IniDocument::Parse(read.bytes);
    std::lock_guard lock(m_settingsMutex);
    for (const SettingsKey& key : kKeys) {
        const std::optional<std::string> classic = settings.Get(kSection, key.name);
        const std::optional<std::string> lossless = settings.Get(kLosslessSection, key.name);
        if (lossless && classic && ClassicEncode(UnescapeLossless(*lossless), key.encoding) == *classic) {
            View().SetWindowTextUtf8(key.control, UnescapeLossless(*lossless));
        } else {
            View().SetWindowText(key.control, ClassicDecode(classic.value_or(""), key.encoding));
        }
        m_loadedSettings[key.name] = View().GetWindowTextUtf8(key.control);
    }
}

bool CQubopostDlg::SaveSettings() {
    const std::string& path = m_services.settingsPath;
    auto fail = [&](const std::string& reason) {
        View().MessageBox(Text::Format(Sjis(texts::kSettingsSaveFailed), {Sjis(path), Sjis(reason)}));
        return false;
    };
    if (!m_settingsReadable) return fail("起動時に読み込めなかったファイルには保存しません");
    // Read again just before writing: another window may have saved in the meantime, and
    // only the keys this window changed since it loaded them are written.
    const SettingsRead read = ReadSettingsFile(path);
    if (read.state == SettingsRead::State::NotRegular || read.state == SettingsRead::State::Unreadable)
        return fail(read.reason);
    IniDocument settings = IniDocument::Parse(read.bytes);
    std::map<std::string, std::string> saved;
    {
        std::lock_guard lock(m_settingsMutex);
        saved = m_loadedSettings;
    }
    for (const SettingsKey& key : kKeys) {
        const std::string value = View().GetWindowTextUtf8(key.control);
        // Unchanged keys stay as the file has them, so that another window's save since
        // is kept; a key the file lacks is written, as the classic program writes all seven.
        const auto loaded = saved.find(key.name);
        if (loaded != saved.end() && loaded->second == value && settings.Get(kSection, key.name)) continue;
        settings.Set(kSection, key.name, ClassicEncode(value, key.encoding));
        if (SurvivesClassic(value, key.encoding)) {
            settings.Remove(kLosslessSection, key.name);
        } else {
            settings.Set(kLosslessSection, key.name, EscapeLossless(value));
        }
        saved[key.name] = value;
    }
    if (!m_windowState.empty()) settings.Set(kProgramSection, kWindowKey, m_windowState);
    std::string reason;
    if (!WriteSettingsFile(path, settings.Serialize(), &reason)) return fail(reason);
    std::lock_guard lock(m_settingsMutex);
    m_loadedSettings = std::move(saved);
    return true;
}

std::string CQubopostDlg::LoadWindowState() {
    return ReadSetting(m_services.settingsPath, kProgramSection, kWindowKey).value_or("");
}

void CQubopostDlg::SaveWindowState(const std::string& state) { m_windowState = state; }
