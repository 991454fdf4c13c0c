#include "posting/disclosure.h"

bool HasAdvertisingDisclosure(std::string_view header, std::string_view footer, std::string_view article) {
    for (std::string_view text : {header, footer, article})
        for (std::string_view word : kDisclosureWords)
            if (text.find(word) != std::string_view::npos) return true;
    return false;
}

std::string DisclosureWarning() {
    return "ヘッダー、フッター、記事のどこにも広告であることの表示（「PR」「広告」「プロモーション」「アフィリエイト」）が"
           "ありません。アフィリエイトリンクを含む記事は、広告であることを示さないとステルスマーケティングとして"
           "景品表示法の規制を受けます（2023年10月1日から）。ヘッダーに「" +
           std::string(kDisclosureLine) + "」と入れることをお勧めします。このままでも投稿はできます。";
}
