// The subject cutter over any group text.
//
// Properties, for the text as it comes and for the same text made valid Shift-JIS (every lead
// byte followed by a trail byte):
// - the subject is never longer than 50 bytes and never holds CR or LF;
// - it is the plain subject (plain_posting.h);
// - a subject that was cut ends on a whole character before "・・"; one that was not cut is
//   the title as it stands, so for valid text every subject ends on a whole character.
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "plain_posting.h"
#include "posting/posting_plan.h"

namespace {

bool IsTrailByte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFC && byte != 0x7F; }

// Lead bytes without a trail byte behind them become '?'.
std::string ValidSjis(std::string_view text) {
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (!fuzz::IsSjisLead(out[i])) continue;
        if (i + 1 < out.size() && IsTrailByte(static_cast<unsigned char>(out[i + 1]))) {
            ++i;
        } else {
            out[i] = '?';
        }
    }
    return out;
}

bool EndsOnWholeCharacter(std::string_view text) { return fuzz::IsCharacterStart(text, 0, text.size()); }

void Check(std::string_view groupText, bool valid) {
    const Text subject = CutSubject(Text(groupText));
    const std::string& bytes = subject.Bytes();
    const std::string expected = fuzz::PlainSubject(groupText);
    if (bytes != expected) {
        fuzz::Show("group text", groupText);
        fuzz::Show("subject", bytes);
        fuzz::Show("plain subject", expected);
    }
    FUZZ_CHECK(bytes == expected, "the subject differs from the plain subject");
    FUZZ_CHECK(bytes.size() <= fuzz::kSubjectLimit, "the subject is longer than 50 bytes");
    FUZZ_CHECK(bytes.find_first_of("\r\n") == std::string::npos, "the subject holds a line end");
    const bool cut = bytes.size() >= fuzz::Ellipsis().size() && fuzz::EndsWith(bytes, fuzz::Ellipsis()) &&
                     groupText.find(bytes) == std::string_view::npos;
    if (cut) {
        FUZZ_CHECK(EndsOnWholeCharacter(std::string_view(bytes).substr(0, bytes.size() - fuzz::Ellipsis().size())),
                   "a cut subject ends with half a double-byte character");
    } else {
        FUZZ_CHECK(groupText.find(bytes) != std::string_view::npos, "an uncut subject is not part of the text");
    }
    if (valid) {
        if (!EndsOnWholeCharacter(bytes)) fuzz::Show("group text", groupText);
        FUZZ_CHECK(EndsOnWholeCharacter(bytes), "the subject of valid text ends with half a double-byte character");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Check(text, false);
    Check(ValidSjis(text), true);
    return 0;
}
