// The program's fixed texts, written in UTF-8 and handed out as CP932 Text.
#pragma once

#include <string_view>

#include "platform/text.h"

namespace qubopost::resources {

// String table.
inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDS_SOCKETS_INIT_FAILED = 103;
// Returns the string table entry as CP932, or "" for an unknown ID.
platform::Text LoadString(int id);

namespace texts {
// Start-up.
inline constexpr std::string_view kAboutItem = "Qubopost のﾊﾞｰｼﾞｮﾝ情報(&A)...";
inline constexpr std::string_view kSocketsInitFailed = "Windows ｿｹｯﾄの初期化に失敗しました。";
inline constexpr std::string_view kOutOfMemory = "メモリ不足エラーです。";
inline constexpr std::string_view kSettingsFileName = "CQubopostDlg.ini";

// Main dialog.
inline constexpr std::string_view kThreadCreateError = "RECV THREAD CREATE ERROR!!";
inline constexpr std::string_view kCategoryAll = "すべて";
inline constexpr std::string_view kSettingsSaveFailed =
    "設定ファイルを保存できませんでした。\n%s\n(%s)";

// Article generation.
inline constexpr std::string_view kGenerated =
    "正常にアフィリエイトコード付き記事が生成されました！！";
inline constexpr std::string_view kNetworkError = "通信エラー";
inline constexpr std::string_view kConverterUnavailable = "関数のアドレスの取得に失敗しました。";

// Posting.
inline constexpr std::string_view kNoFromAddress = "投稿元メールアドレスが未入力です。";
inline constexpr std::string_view kNoSmtpServer = "SMTPサーバアドレスが未入力です。";
inline constexpr std::string_view kNoSmtpPort = "SMTPポートが未入力です。";
inline constexpr std::string_view kNoBlogAddresses = "投稿先メールアドレスが未入力です。";
inline constexpr std::string_view kNoArticle = "投稿データが未入力です。";
inline constexpr std::string_view kMailLibraryMissing = "インポートライブラリが読み込めません。";
inline constexpr std::string_view kPostingDone = "ブログへの自動投稿が完了しました。";
inline constexpr std::string_view kPostingFailed =
    "ブログへの投稿に失敗しました。\nSMTPサーバ名：SMTPポート番号：投稿先メールアドレス 等を再度ご確認下さい。";
inline constexpr std::string_view kLogFailure = "送信エラー (%s) %s %s %s %s";
inline constexpr std::string_view kLogSuccess = "%s:送信完了";
}  // namespace texts

}  // namespace qubopost::resources
