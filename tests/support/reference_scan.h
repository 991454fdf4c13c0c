// A model of the article generator's scan of a ranking page, for the tests that check the real
// scan and its fast paths against it: every anchor and description searched afresh, every skip
// mark with its own Text::Find.
#pragma once

#include "platform/encoding.h"
#include "platform/text.h"

namespace qubopost::test {

inline qubopost::platform::Text ReferenceScan(const qubopost::platform::Text& page) {
    qubopost::platform::Text article;
    for (const qubopost::platform::Text& opening :
         {qubopost::platform::Text("<a href='"), qubopost::platform::Text("<a href=\"")}) {
        int search = 0;
        for (;;) {
            const int start = page.Find(opening, search);
            if (start < 0) break;
            const int end = page.Find("</a>", start + 1);
            if (end < 0) break;
            const qubopost::platform::Text piece = page.Mid(start, end - start);
            search = end + 1;
            bool skip = false;
            for (const qubopost::platform::Text& mark :
                 {qubopost::platform::Text(".jpg"), qubopost::platform::Text(".JPG"),
                  qubopost::platform::Text(".gif"), qubopost::platform::Text(".GIF"),
                  qubopost::platform::Text(".png"), qubopost::platform::Text(".PNG"),
                  qubopost::platform::Text(".tif"), qubopost::platform::Text(".TIF"),
                  platform::Sjis("詳細説明")}) {
                skip = skip || piece.Find(mark) >= 0;
            }
            if (skip) continue;
            article += piece;
            const int d = page.Find("<td valign=top align=left><span class=style2>", search);
            if (d > 0) article += page.Mid(d, page.Find("</span></td>", d + 1) - d);
        }
    }
    return article;
}

}  // namespace qubopost::test
