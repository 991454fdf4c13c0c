// The main dialog's control table and the About box, in dialog units. The dialog logic
// names controls by these IDs; the window draws exactly this table.
#pragma once

#include <span>
#include <string_view>

namespace qubopost::resources {

// Control IDs of the main dialog.
inline constexpr int IDCANCEL = 2;
inline constexpr int IDC_FROM_ADDRESS = 1000;
inline constexpr int IDC_SMTP_SERVER = 1001;
inline constexpr int IDC_SMTP_PORT = 1002;
inline constexpr int IDC_BLOG_ADDRESSES = 1003;
inline constexpr int IDC_HEADER = 1004;
inline constexpr int IDC_FOOTER = 1005;
inline constexpr int IDC_KIND_DOWNLOAD = 1006;
inline constexpr int IDC_KIND_MAILMAG = 1007;
inline constexpr int IDC_KIND_GOODS = 1008;
inline constexpr int IDC_CATEGORY = 1010;
inline constexpr int IDC_AFFILIATE_ID = 1011;
inline constexpr int IDC_RANK_MONTHLY = 1012;
inline constexpr int IDC_RANK_DAILY = 1013;
inline constexpr int IDC_RANK_PICKUP = 1014;
inline constexpr int IDC_GENERATE = 1015;
inline constexpr int IDC_CLEAR = 1016;
inline constexpr int IDC_ARTICLE = 1017;
inline constexpr int IDC_LOG = 1018;
inline constexpr int IDC_START_POST = 1019;
inline constexpr int IDC_CONFIRM_POST = 1020;
inline constexpr int IDC_PROGRESS = 1021;
// Static texts and group boxes carry no ID of their own.
inline constexpr int IDC_STATIC = -1;

// Resource IDs.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_QUBOPOST_DIALOG = 102;
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDR_QUBOPOST_REGISTRY = 104;

// System command of the About item.
inline constexpr unsigned IDM_ABOUTBOX = 0x0010;

enum class ControlKind {
    PushButton,    // text: the label
    GroupBox,      // text: the caption
    Label,         // static text
    Edit,          // single line, centred, scrolls sideways
    MultiEdit,     // several lines, Enter breaks the line, both scroll bars
    WrappingEdit,  // several lines, Enter breaks the line, lines wrap, vertical scroll bar
    RadioButton,   // auto radio button
    ComboBox,      // editable drop-down, sorted list, vertical scroll bar
    ProgressBar,
    Icon,      // the main icon (About box)
    OkButton,  // About box OK
};

struct ControlDef {
    int id;
    ControlKind kind;
    std::string_view text;  // UTF-8
    int x, y, width, height;
    bool startsGroup = false;  // first control of a group of radio buttons
};

struct DialogDef {
    int id;
    std::string_view caption;  // UTF-8
    int width, height;
    std::span<const ControlDef> controls;  // in tab order
};

const DialogDef& MainDialog();
const DialogDef& AboutDialog();

// Items of the category combo box, in the order of adding.
std::span<const std::string_view> CategoryItems();

// The dialog font: 9 point Japanese proportional Gothic.
inline constexpr std::string_view kDialogFontFamily = "IPAPGothic";
inline constexpr int kDialogFontPoints = 9;

}  // namespace qubopost::resources
