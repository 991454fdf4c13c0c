// Large synthetic ranking pages for the benchmarks, shaped like the real ones: a table
// row per product with an image link, a text link and (optionally) a description. The
// pages are the same on every run (nothing random).
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

#include "platform/encoding.h"

// The shapes of page the generator is measured on:
// - Links: the links only, no description behind them (the scan finds no description at all);
// - Descriptions: a description behind every text link;
// - LongLines: the whole table on one line, each description eight times as long;
// - ShortRows: every product followed by a dozen short rows of Japanese the scan leaves out
//   (rank, price, stock, rating), so that ASCII and Japanese alternate every few bytes.
enum class PageShape { Links, Descriptions, LongLines, ShortRows };

inline const char* PageShapeName(PageShape shape) {
    switch (shape) {
        case PageShape::Links:
            return "links";
        case PageShape::Descriptions:
            return "descriptions";
        case PageShape::LongLines:
            return "longlines";
        case PageShape::ShortRows:
            return "shortrows";
    }
    return "";
}

// The shape of a name as PageShapeName gives it ("nodesc" is links too); descriptions for
// an unknown name.
inline PageShape PageShapeNamed(const char* name) {
    for (PageShape shape :
         {PageShape::Links, PageShape::Descriptions, PageShape::LongLines, PageShape::ShortRows}) {
        if (std::strcmp(name, PageShapeName(shape)) == 0) return shape;
    }
    if (std::strcmp(name, "nodesc") == 0) return PageShape::Links;
    return PageShape::Descriptions;
}

// A page of the given number of products in the given shape, in the program's encoding (CP932).
inline std::string MakeShapedPage(int products, PageShape shape) {
    const std::string title =
        qubopost::platform::Sjis("【特価】ビジネス書・情報源のおすすめ商品").Bytes();
    std::string description =
        qubopost::platform::Sjis("この商品の説明文です。①②③ 纊 ～ 今日の人気ランキング上位の商品。")
            .Bytes();
    if (shape == PageShape::LongLines) {
        const std::string once = description;
        for (int i = 1; i < 8; ++i) description += once;
    }
    const std::string rank = qubopost::platform::Sjis("第").Bytes();
    const std::string place = qubopost::platform::Sjis("位").Bytes();
    const std::string shortRows[] = {
        qubopost::platform::Sjis("<td>価格：").Bytes(),
        qubopost::platform::Sjis("円（税込）</td>").Bytes(),
        qubopost::platform::Sjis("<td>在庫あり</td>").Bytes(),
        qubopost::platform::Sjis("<td>送料無料</td>").Bytes(),
        qubopost::platform::Sjis("<td>評価：★★★★☆</td>").Bytes(),
        qubopost::platform::Sjis("<td>レビュー").Bytes(),
        qubopost::platform::Sjis("件</td>").Bytes(),
        qubopost::platform::Sjis("<td>ポイント10倍</td>").Bytes(),
        qubopost::platform::Sjis("<td>翌日配送</td>").Bytes(),
        qubopost::platform::Sjis("<td>在庫：残りわずか</td>").Bytes(),
    };
    const char* const lineEnd = shape == PageShape::LongLines ? "" : "\n";
    std::string page = "<html><head><title>ranking</title></head><body><table>\n";
    for (int i = 0; i < products; ++i) {
        const std::string n = std::to_string(i);
        page += "<tr><td><a href='http://shop.example.jp/item/" + n +
                "/' target=_blank><img src='http://img.example.jp/" + n +
                ".jpg' border=0></a></td>" + lineEnd;
        page += "<td><a href='http://shop.example.jp/item/" + n + "/' target=_blank>" + title +
                " " + n + "</a></td>" + lineEnd;
        if (shape == PageShape::Links || shape == PageShape::ShortRows) {
            page += std::string("<td>-</td></tr>") + lineEnd;
        } else {
            page += "<td valign=top align=left><span class=style2>" + description +
                    "</span></td></tr>" + lineEnd;
        }
        if (shape == PageShape::ShortRows) {
            page += "<tr><td>" + rank + n + place + "</td></tr>\n";
            page +=
                "<tr>" + shortRows[0] + std::to_string(1000 + i % 9000) + shortRows[1] + "</tr>\n";
            for (int r = 2; r < 5; ++r) page += "<tr>" + shortRows[r] + "</tr>\n";
            page += "<tr>" + shortRows[5] + std::to_string(i % 500) + shortRows[6] + "</tr>\n";
            for (int r = 7; r < 10; ++r) page += "<tr>" + shortRows[r] + "</tr>\n";
            page += "<tr><td>-</td></tr>\n<tr><td>" + rank + n + place + "</td></tr>\n";
        }
    }
    page += "</table></body></html>\n";
    return page;
}

// A page of the given number of products, with or without descriptions.
inline std::string MakeRankingPage(int products, bool withDescriptions) {
    return MakeShapedPage(products, withDescriptions ? PageShape::Descriptions : PageShape::Links);
}
