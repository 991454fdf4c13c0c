// The dialog's side of the settings file: seven of its fields in the HostData section, with
// the lossless copy beside it (the codec of both is settings/host_data).
#include <array>

#include "platform/encoding.h"
#include "platform/field_text.h"
#include "platform/profile.h"
#include "resources/control_table.h"
#include "resources/messages/messages.h"
#include "resources/strings.h"
#include "settings/host_data.h"
#include "settings/settings_file.h"
#include "ui/qubopost_dlg.h"

using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::settings;
using namespace qubopost::posting;
using namespace qubopost::view;

namespace qubopost::ui {

namespace {

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

}  // namespace

void CQubopostDlg::LoadSettings() {
    const SettingsRead read = ReadSettingsFile(m_services.settingsPath);
    m_settingsReadable =
        read.state == SettingsRead::State::Read || read.state == SettingsRead::State::Missing;
    if (!m_settingsReadable) {
        ShowMessage(
            messages::Say(messages::kUiSettingsUnreadable, {m_services.settingsPath, read.reason}));
    }
    const IniDocument settings = IniDocument::Parse(read.bytes);
    std::lock_guard lock(m_settingsMutex);
    for (const SettingsKey& key : kKeys) {
        const std::optional<std::string> hostData = settings.Get(kSection, key.name);
        const std::optional<std::string> lossless = settings.Get(kLosslessSection, key.name);
        if (lossless && hostData &&
            HostDataEncode(UnescapeLossless(*lossless), key.encoding) == *hostData) {
            View().SetWindowTextUtf8(key.control, UnescapeLossless(*lossless));
        } else {
            View().SetWindowText(key.control, HostDataDecode(hostData.value_or(""), key.encoding));
        }
        m_loadedSettings[key.name] = View().GetWindowTextUtf8(key.control);
    }
}

bool CQubopostDlg::SaveSettings() {
    const std::string& path = m_services.settingsPath;
    auto fail = [&](const std::string& reason) {
        View().MessageBox(
            Text::Format(Sjis(texts::kSettingsSaveFailed), {Sjis(path), Sjis(reason)}));
        return false;
    };
    if (!m_settingsReadable)
        return fail(std::string(messages::Say(messages::kUiSettingsNotSavedUnread)));
    // Read again just before writing: another window may have saved in the meantime, and
    // only the keys this window changed since it loaded them are written.
    const SettingsRead read = ReadSettingsFile(path);
    if (read.state == SettingsRead::State::NotRegular ||
        read.state == SettingsRead::State::Unreadable)
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
        // is kept; a key the file lacks is written, as every writer of the HostData section writes
        // all seven.
        const auto loaded = saved.find(key.name);
        if (loaded != saved.end() && loaded->second == value && settings.Get(kSection, key.name))
            continue;
        settings.Set(kSection, key.name, HostDataEncode(value, key.encoding));
        if (SurvivesHostData(value, key.encoding)) {
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

}  // namespace qubopost::ui
