// The advertising disclosure. Every article the program makes carries affiliate links, and
// undisclosed advertising counts as stealth marketing under Japanese law (since 2023-10-01): a
// post should say that it holds advertising. The program warns when nothing says so; it never
// refuses to post.
#pragma once

#include <string>
#include <string_view>

namespace qubopost::posting {

// The words that count as a disclosure, wherever they stand.
inline constexpr std::string_view kDisclosureWords[] = {"PR", "広告", "プロモーション",
                                                        "アフィリエイト"};
// The line "ヘッダーに追加" puts at the top of the header.
inline constexpr std::string_view kDisclosureLine = "本記事はプロモーションを含みます。";

// Whether the header, the footer or the article (UTF-8) holds one of the words.
bool HasAdvertisingDisclosure(std::string_view header, std::string_view footer,
                              std::string_view article);

// The warning, for the preview and qubopost-cli.
std::string DisclosureWarning();

}  // namespace qubopost::posting
