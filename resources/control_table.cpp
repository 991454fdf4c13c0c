#include "resources/control_table.h"

#include <array>

namespace qubopost::resources {

namespace {

using K = ControlKind;

// Labels of edit fields stand right above their field.
constexpr std::array kMainControls = {
    ControlDef{IDCANCEL, K::PushButton, "閉じる", 335, 215, 81, 16},
    ControlDef{IDC_STATIC, K::GroupBox, "基本設定", 5, 10, 116, 113},
    ControlDef{IDC_STATIC, K::Label, "投稿元メールアドレス", 14, 24, 94, 9},
    ControlDef{IDC_FROM_ADDRESS, K::Edit, "", 14, 35, 94, 14},
    ControlDef{IDC_STATIC, K::Label, "SMTPサーバアドレス", 13, 57, 95, 9},
    ControlDef{IDC_SMTP_SERVER, K::Edit, "", 13, 68, 95, 14},
    ControlDef{IDC_STATIC, K::Label, "ポートアドレス", 13, 87, 95, 9},
    ControlDef{IDC_SMTP_PORT, K::Edit, "", 13, 98, 95, 14},
    ControlDef{IDC_STATIC, K::GroupBox, "投稿先ブログアドレス", 120, 10, 131, 113},
    ControlDef{IDC_BLOG_ADDRESSES, K::MultiEdit, "", 130, 25, 110, 85},
    ControlDef{IDC_STATIC, K::GroupBox, "投稿文フォーマット", 250, 10, 165, 180},
    ControlDef{IDC_STATIC, K::Label, "ヘッダー", 260, 24, 145, 9},
    ControlDef{IDC_HEADER, K::MultiEdit, "", 260, 35, 145, 65},
    ControlDef{IDC_STATIC, K::Label, "フッター", 260, 104, 145, 9},
    ControlDef{IDC_FOOTER, K::MultiEdit, "", 260, 115, 145, 65},
    ControlDef{IDC_STATIC, K::GroupBox, "設定[1]", 5, 125, 70, 65, true},
    ControlDef{IDC_KIND_DOWNLOAD, K::RadioButton, "ダウンロード", 15, 140, 50, 10},
    ControlDef{IDC_KIND_MAILMAG, K::RadioButton, "有料メルマガ", 15, 155, 50, 10},
    ControlDef{IDC_KIND_GOODS, K::RadioButton, "オンライン物販", 15, 170, 55, 10},
    ControlDef{IDC_STATIC, K::GroupBox, "設定[2]", 75, 125, 91, 65},
    ControlDef{IDC_STATIC, K::Label, "カテゴリ選択", 80, 143, 79, 9},
    ControlDef{IDC_CATEGORY, K::ComboBox, "", 80, 155, 79, 110},
    ControlDef{IDC_STATIC, K::GroupBox, "設定[3]", 165, 125, 85, 65},
    ControlDef{IDC_STATIC, K::Label, "アフィリエイトID", 175, 143, 65, 9},
    ControlDef{IDC_AFFILIATE_ID, K::Edit, "", 175, 155, 65, 14},
    ControlDef{IDC_STATIC, K::GroupBox, "表示内容", 5, 195, 245, 35, true},
    ControlDef{IDC_RANK_MONTHLY, K::RadioButton, "1ヶ月集計ランキング", 20, 210, 70, 10},
    ControlDef{IDC_RANK_DAILY, K::RadioButton, "24時間集計ランキング", 95, 210, 75, 10},
    ControlDef{IDC_RANK_PICKUP, K::RadioButton, "ピックアップ商品", 175, 210, 65, 10},
    ControlDef{IDC_GENERATE, K::PushButton, "記事自動生成", 255, 200, 80, 31},
    ControlDef{IDC_CLEAR, K::PushButton, "クリア", 335, 200, 81, 15},
    ControlDef{IDC_ARTICLE, K::WrappingEdit, "", 5, 240, 245, 95},
    ControlDef{IDC_LOG, K::MultiEdit, "", 255, 270, 160, 64},
    ControlDef{IDC_START_POST, K::PushButton, "ブログ投稿開始", 255, 240, 81, 21},
    ControlDef{IDC_CONFIRM_POST, K::PushButton, "投稿確認", 336, 239, 80, 22},
    ControlDef{IDC_PROGRESS, K::ProgressBar, "", 7, 343, 409, 10},
};

constexpr std::array kAboutControls = {
    ControlDef{IDR_MAINFRAME, K::Icon, "", 11, 17, 20, 20},
    ControlDef{IDC_STATIC, K::Label, "Qubopost Version 1.0", 40, 10, 119, 8},
    ControlDef{IDC_STATIC, K::Label, "メールで投稿するブロガーのための記事作成・投稿ツール", 40, 25,
               135, 20},
    ControlDef{1, K::OkButton, "OK", 178, 7, 50, 14},
};

constexpr std::array<std::string_view, 7> kCategories = {
    "すべて",       "ビジネス・情報源",       "趣味・生活・雑誌",
    "芸能・音楽",   "小説・ノンフィクション", "写真集・グラビア",
    "漫画・同人誌",
};

const DialogDef kMainDialog{IDD_QUBOPOST_DIALOG, "ブログ自動投稿Zelqon", 423, 360, kMainControls};
const DialogDef kAboutDialog{IDD_ABOUTBOX, "Qubopostのﾊﾞｰｼﾞｮﾝ情報", 235, 55, kAboutControls};

}  // namespace

const DialogDef& MainDialog() { return kMainDialog; }
const DialogDef& AboutDialog() { return kAboutDialog; }
std::span<const std::string_view> CategoryItems() { return kCategories; }

}  // namespace qubopost::resources
