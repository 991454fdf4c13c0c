// Large synthetic ranking pages for the benchmarks, shaped like the real ones: a table
// row per product with an image link, a text link and (optionally) a description.
#pragma once

#include <string>

#include "platform/encoding.h"

// A page of the given number of products, in the program's encoding (CP932).
inline std::string MakeRankingPage(int products, bool withDescriptions) {
    const std::string title = Sjis("【特価】ビジネス書・情報源のおすすめ商品").Bytes();
    const std::string description = Sjis("この商品の説明文です。①②③ 纊 ～ 今日の人気ランキング上位の商品。").Bytes();
    std::string page = "<html><head><title>ranking</title></head><body><table>\n";
    for (int i = 0; i < products; ++i) {
        const std::string n = std::to_string(i);
        page += "<tr><td><a href='http://shop.example.jp/item/" + n + "/' target=_blank><img src='http://img.example.jp/" +
                n + ".jpg' border=0></a></td>\n";
        page += "<td><a href='http://shop.example.jp/item/" + n + "/' target=_blank>" + title + " " + n + "</a></td>\n";
        if (withDescriptions) {
            page += "<td valign=top align=left><span class=style2>" + description + "</span></td></tr>\n";
        } else {
            page += "<td>-</td></tr>\n";
        }
    }
    page += "</table></body></html>\n";
    return page;
}
