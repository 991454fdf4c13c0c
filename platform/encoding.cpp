#include "platform/encoding.h"

#include "platform/field_text.h"

#include <unicode/ucnv.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>

namespace qubopost::platform {
#endif

namespace {

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter Open(const char* name) {
    UErrorCode status = U_ZERO_ERROR;
    Converter converter(ucnv_open(name, &status));
    if (U_FAILURE(status)) return nullptr;
    return converter;
}

// Both converters of a conversion with the program's substitutes: anything without a form
// in the target encoding becomes "?" (in CP932 the default substitute would be a
// user-defined character that shows as garbage), anything invalid in the source U+FFFD.
bool OpenPair(const char* from, const char* to, Converter& source, Converter& target) {
    source = Open(from);
    target = Open(to);
    if (!source || !target) return false;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setSubstChars(target.get(), "?", 1, &status);
    status = U_ZERO_ERROR;
    static const UChar kReplacement[] = {0xFFFD};
    ucnv_setSubstString(source.get(), kReplacement, 1, &status);
    return true;
}

// Converts bytes through the pivot and appends the result to out. reset: the converters
// start afresh; flush: the text ends here. false when ICU reports a failure.
bool ConvertThrough(UConverter* source, UConverter* target, std::string_view bytes,
                    std::string& out, bool reset, bool flush) {
    UChar pivot[2048];
    UChar* pivotSource = pivot;
    UChar* pivotTarget = pivot;
    const char* in = bytes.data();
    const char* inEnd = bytes.data() + bytes.size();
    std::size_t used = out.size();
    out.resize(used + bytes.size() * 2 + 16);
    char* outPos = out.data() + used;
    UErrorCode status = U_ZERO_ERROR;
    for (;;) {
        char* outEnd = out.data() + out.size();
        status = U_ZERO_ERROR;
        ucnv_convertEx(target, source, &outPos, outEnd, &in, inEnd, pivot, &pivotSource,
                       &pivotTarget, pivot + std::size(pivot), static_cast<UBool>(reset),
                       static_cast<UBool>(flush), &status);
        reset = false;
        if (status != U_BUFFER_OVERFLOW_ERROR) break;
        used = static_cast<std::size_t>(outPos - out.data());
        out.resize(out.size() * 2);
        outPos = out.data() + used;
    }
    out.resize(static_cast<std::size_t>(outPos - out.data()));
    return U_SUCCESS(status);
}

// Converts one piece, flushed, with the converters reset first.
bool ConvertPiece(UConverter* source, UConverter* target, std::string_view bytes,
                  std::string& out) {
    return ConvertThrough(source, target, bytes, out, true, true);
}

// Encodings whose multi-byte sequences are made of bytes 0x80 and up only, so that text
// may be cut at any ASCII byte without splitting a character.
bool AsciiSafe(const char* name) {
    return ucnv_compareNames(name, "EUC-JP") == 0 || ucnv_compareNames(name, "UTF-8") == 0;
}

// What each ASCII byte becomes, when every one becomes a single byte (ICU's CP932 swaps
// 0x1A, 0x1C and 0x7F around, for one). false when one doesn't.
bool AsciiForms(UConverter* source, UConverter* target, std::array<char, 128>& forms) {
    std::string ascii;
    for (int c = 0; c < 0x80; ++c) ascii += static_cast<char>(c);
    std::string converted;
    if (!ConvertPiece(source, target, ascii, converted) || converted.size() != ascii.size())
        return false;
    std::memcpy(forms.data(), converted.data(), forms.size());
    return true;
}

// The CP932 form of EUC-JP characters of the JIS tables, as ICU converts them: two-byte
// characters (A1-FE A1-FE) and half-width katakana (8E A1-DF), and JIS X 0212 (8F A1-FE
// A1-FE), which pages hardly use and which is built only when one comes. An entry of length 0
// stands for "ask ICU" (the run then goes through ICU as a whole).
struct EucEntry {
    std::uint8_t length = 0;
    char bytes[2] = {};
};
constexpr std::size_t kRow = 94;

bool InRow(unsigned char byte) { return byte >= 0xA1 && byte <= 0xFE; }

// The place of a two-byte code (both bytes InRow) in a kRow × kRow table.
std::size_t Cell(unsigned char row, unsigned char column) {
    return static_cast<std::size_t>(row - 0xA1) * kRow + static_cast<std::size_t>(column - 0xA1);
}

// Fills the entries with ICU's forms of the sequences. Each sequence goes in followed by "あ"
// and a line end, in one conversion; the output is cut at the line ends again (no CP932
// character holds a 0x0A byte). A form is taken when "あ" follows it unchanged: then ICU
// took the sequence as one unit, substitutes ("?") included.
bool FillForms(const std::string& sequences, std::size_t length, std::vector<EucEntry>& entries) {
    Converter source, target;
    if (!OpenPair("EUC-JP", "windows-31j", source, target)) return false;
    std::string input;
    input.reserve(sequences.size() / length * (length + 3));
    for (std::size_t at = 0; at < sequences.size(); at += length) {
        input.append(sequences, at, length);
        input += "\xA4\xA2\n";
    }
    std::string output;
    if (!ConvertPiece(source.get(), target.get(), input, output)) return false;
    constexpr std::string_view kBehind = "\x82\xA0";
    std::size_t pos = 0;
    for (EucEntry& entry : entries) {
        const std::size_t end = output.find('\n', pos);
        if (end == std::string::npos) return false;
        std::string_view form(output.data() + pos, end - pos);
        pos = end + 1;
        if (form.size() < kBehind.size() || form.substr(form.size() - kBehind.size()) != kBehind)
            continue;
        form.remove_suffix(kBehind.size());
        if (form.empty() || form.size() > 2) continue;
        entry.length = static_cast<std::uint8_t>(form.size());
        std::memcpy(entry.bytes, form.data(), form.size());
    }
    return pos == output.size();
}

struct EucTable {
    std::vector<EucEntry> twoByte = std::vector<EucEntry>(kRow * kRow);
    std::vector<EucEntry> kana = std::vector<EucEntry>(0xDF - 0xA1 + 1);
    bool usable = false;
};

const EucTable& JisTable() {
    static const EucTable table = [] {
        EucTable t;
        std::string twoByte, kana;
        for (int lead = 0xA1; lead <= 0xFE; ++lead) {
            for (int trail = 0xA1; trail <= 0xFE; ++trail) {
                twoByte += static_cast<char>(lead);
                twoByte += static_cast<char>(trail);
            }
        }
        for (int trail = 0xA1; trail <= 0xDF; ++trail) {
            kana += '\x8E';
            kana += static_cast<char>(trail);
        }
        t.usable = FillForms(twoByte, 2, t.twoByte) && FillForms(kana, 2, t.kana);
        return t;
    }();
    return table;
}

// JIS X 0212; all "ask ICU" when it can't be built.
const std::vector<EucEntry>& SupplementTable() {
    static const std::vector<EucEntry> table = [] {
        std::vector<EucEntry> entries(kRow * kRow);
        std::string sequences;
        for (int lead = 0xA1; lead <= 0xFE; ++lead) {
            for (int trail = 0xA1; trail <= 0xFE; ++trail) {
                sequences += '\x8F';
                sequences += static_cast<char>(lead);
                sequences += static_cast<char>(trail);
            }
        }
        if (!FillForms(sequences, 3, entries)) entries.assign(entries.size(), EucEntry());
        return entries;
    }();
    return table;
}

// A run of bytes 0x80 and up through the table, written at out (room for n bytes: no
// character grows). The bytes written, or npos when the run holds anything the table
// leaves to ICU.
std::size_t TableRun(const EucTable& t, const unsigned char* p, std::size_t n, char* out) {
    std::size_t i = 0;
    char* o = out;
    while (i < n) {
        const unsigned char b = p[i];
        const EucEntry* entry = nullptr;
        std::size_t length = 0;
        if (InRow(b) && i + 1 < n && InRow(p[i + 1])) {
            entry = &t.twoByte[Cell(b, p[i + 1])];
            length = 2;
        } else if (b == 0x8E && i + 1 < n && p[i + 1] >= 0xA1 && p[i + 1] <= 0xDF) {
            entry = &t.kana[p[i + 1] - 0xA1];
            length = 2;
        } else if (b == 0x8F && i + 2 < n && InRow(p[i + 1]) && InRow(p[i + 2])) {
            entry = &SupplementTable()[Cell(p[i + 1], p[i + 2])];
            length = 3;
        }
        if (!entry || entry->length == 0) return std::string::npos;
        o[0] = entry->bytes[0];
        if (entry->length == 2) o[1] = entry->bytes[1];
        o += entry->length;
        i += length;
    }
    return static_cast<std::size_t>(o - out);
}

// The end of the run of ASCII bytes that begins at p and stay as they are: it stops at a
// byte 0x80 and up and at each of the changed ASCII bytes (16 bytes at a time when there
// are at most kMaxChanged of them).
constexpr std::size_t kMaxChanged = 4;

const unsigned char* PlainAsciiEnd(const unsigned char* p, const unsigned char* end,
                                   const unsigned char* changed, std::size_t changedCount) {
#if defined(__SSE2__)
    if (changedCount <= kMaxChanged) {
        __m128i changedBytes[kMaxChanged];
        for (std::size_t c = 0; c < changedCount; ++c)
            changedBytes[c] = _mm_set1_epi8(static_cast<char>(changed[c]));
        while (end - p >= 16) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            __m128i stops = block;  // the high bit of bytes 0x80 and up
            for (std::size_t c = 0; c < changedCount; ++c) {
                stops = _mm_or_si128(stops, _mm_cmpeq_epi8(block, changedBytes[c]));
            }
            const int mask = _mm_movemask_epi8(stops);
            if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
            p += 16;
        }
    }
#endif
    for (; p < end; ++p) {
        if (*p >= 0x80 || (changedCount != 0 && std::memchr(changed, *p, changedCount))) return p;
    }
    return p;
}

// The end of the run of bytes 0x80 and up that begins at p.
const unsigned char* OtherRunEnd(const unsigned char* p, const unsigned char* end) {
#if defined(__SSE2__)
    while (end - p >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const unsigned ascii = ~static_cast<unsigned>(_mm_movemask_epi8(block)) & 0xFFFFu;
        if (ascii != 0) return p + __builtin_ctz(ascii);
        p += 16;
    }
#endif
    while (p < end && *p >= 0x80) ++p;
    return p;
}

}  // namespace

struct PieceConverter::State {
    Converter source, target;
    bool ready = false;
    bool runs = false;  // ASCII runs copied, other runs converted one by one
    std::array<char, 128> asciiForms{};
    std::vector<unsigned char> changed;  // the ASCII bytes that don't stay as they are
    const EucTable* table = nullptr;
    bool failed = false;
    std::string kept;  // an unfinished run (or, without runs, the whole text)
    std::string scratch;
    std::string converted;

    // Appends the conversion of one complete run of bytes 0x80 and up; next is the ASCII
    // byte behind it, or -1 at the end of the text. A broken sequence converts differently
    // at the end of the text and before another byte (ICU substitutes a cut sequence as a
    // whole, but an invalid one byte by byte), so ICU gets the run with the byte behind it,
    // and that byte's form is taken off again.
    void ConvertRun(std::string_view run, int next, std::string& out) {
        if (table) {
            const std::size_t at = out.size();
            out.resize(at + run.size());
            const std::size_t written =
                TableRun(*table, reinterpret_cast<const unsigned char*>(run.data()), run.size(),
                         out.data() + at);
            if (written != std::string::npos) {
                out.resize(at + written);
                return;
            }
            out.resize(at);
        }
        // Through a scratch buffer: the conversion asks for room for twice the run, which
        // at the end of a page reserved to its size would make the page grow.
        scratch.assign(run);
        if (next >= 0) scratch += static_cast<char>(next);
        converted.clear();
        if (!ConvertPiece(source.get(), target.get(), scratch, converted)) failed = true;
        if (next >= 0) {
            if (converted.empty() || converted.back() != asciiForms[static_cast<std::size_t>(next)])
                failed = true;
            if (!converted.empty()) converted.pop_back();
        }
        out.append(converted);
    }

    void Feed(std::string_view piece, std::string& out) {
        if (!runs) {
            kept.append(piece);
            return;
        }
        const auto* p = reinterpret_cast<const unsigned char*>(piece.data());
        const auto* end = p + piece.size();
        if (!kept.empty()) {
            const unsigned char* runEnd = OtherRunEnd(p, end);
            kept.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(runEnd - p));
            p = runEnd;
            if (p == end) return;
            ConvertRun(kept, *p, out);
            kept.clear();
        }
        out.reserve(out.size() + static_cast<std::size_t>(end - p));
        while (p < end) {
            // ASCII bytes: those that stay as they are copied in runs, each changed one by itself.
            const unsigned char* plainEnd = PlainAsciiEnd(p, end, changed.data(), changed.size());
            out.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(plainEnd - p));
            p = plainEnd;
            if (p == end) break;
            if (*p < 0x80) {
                out += asciiForms[*p];
                ++p;
                continue;
            }
            const unsigned char* runEnd = OtherRunEnd(p, end);
            const std::string_view run(reinterpret_cast<const char*>(p),
                                       static_cast<std::size_t>(runEnd - p));
            if (runEnd == end) {
                kept.assign(run);
                break;
            }
            ConvertRun(run, *runEnd, out);
            p = runEnd;
        }
    }

    void Finish(std::string& out) {
        if (runs) {
            if (!kept.empty()) ConvertRun(kept, -1, out);
        } else if (!ConvertPiece(source.get(), target.get(), kept, out)) {
            failed = true;
        }
        kept.clear();
        kept.shrink_to_fit();
    }
};

PieceConverter::PieceConverter(const char* from, const char* to)
    : m_state(std::make_unique<State>()) {
    State& s = *m_state;
    if (!OpenPair(from, to, s.source, s.target)) return;
    s.ready = true;
    s.runs = AsciiSafe(from) && AsciiForms(s.source.get(), s.target.get(), s.asciiForms);
    for (int c = 0; c < 0x80; ++c) {
        if (s.asciiForms[static_cast<std::size_t>(c)] != static_cast<char>(c))
            s.changed.push_back(static_cast<unsigned char>(c));
    }
    if (s.runs && ucnv_compareNames(from, "EUC-JP") == 0 &&
        ucnv_compareNames(to, "windows-31j") == 0) {
        const EucTable& table = JisTable();
        if (table.usable) s.table = &table;
    }
}

PieceConverter::~PieceConverter() = default;

bool PieceConverter::Ready() const { return m_state->ready && !m_state->failed; }

void PieceConverter::Feed(std::string_view piece, std::string& out) {
    if (m_state->ready) m_state->Feed(piece, out);
}

void PieceConverter::Finish(std::string& out) {
    if (m_state->ready) m_state->Finish(out);
}

namespace {

// The UTF-8 form of every CP932 character as ICU converts it: single bytes and double-byte
// characters (leads 81-9F and E0-FC, trails 40-7E and 80-FC). An entry of length 0 leaves the
// character to ICU: a substitute, or a form longer than 3 bytes.
struct SjisTable {
    struct Entry {
        std::uint8_t length = 0;
        char bytes[3] = {};
    };
    std::vector<Entry> single = std::vector<Entry>(256);
    std::vector<Entry> pairs =
        std::vector<Entry>(std::size_t{60} * 256);  // lead index (LeadIndex) * 256 + trail
    bool usable = false;
};

bool IsTrailByte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFC && byte != 0x7F; }

// 0-30 for the lead bytes 81-9F, 31-59 for E0-FC.
std::size_t LeadIndex(unsigned char lead) {
    return lead <= 0x9F ? lead - 0x81u : lead - 0xE0u + 31u;
}

const SjisTable& Utf8Table() {
    static const SjisTable table = [] {
        SjisTable t;
        Converter source, target;
        if (!OpenPair("windows-31j", "UTF-8", source, target)) return t;
        std::string input;
        std::vector<SjisTable::Entry*> entries;
        for (int byte = 0; byte < 256; ++byte) {
            if (byte == '\n' || Text::IsLeadByte(static_cast<unsigned char>(byte))) continue;
            input += static_cast<char>(byte);
            input += '\n';
            entries.push_back(&t.single[static_cast<std::size_t>(byte)]);
        }
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (!Text::IsLeadByte(static_cast<unsigned char>(lead))) continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                if (!IsTrailByte(static_cast<unsigned char>(trail))) continue;
                input += static_cast<char>(lead);
                input += static_cast<char>(trail);
                input += '\n';
                entries.push_back(&t.pairs[LeadIndex(static_cast<unsigned char>(lead)) * 256 +
                                           static_cast<std::size_t>(trail)]);
            }
        }
        std::string output;
        if (!ConvertPiece(source.get(), target.get(), input, output)) return t;
        std::size_t pos = 0;
        for (SjisTable::Entry* entry : entries) {
            const std::size_t end = output.find('\n', pos);
            if (end == std::string::npos) return t;
            const std::string_view form(output.data() + pos, end - pos);
            pos = end + 1;
            if (form.empty() || form.size() > 3 || form == "\xEF\xBF\xBD") continue;
            entry->length = static_cast<std::uint8_t>(form.size());
            std::memcpy(entry->bytes, form.data(), form.size());
        }
        t.single['\n'].length = 1;
        t.single['\n'].bytes[0] = '\n';
        t.usable = pos == output.size();
        return t;
    }();
    return table;
}

}  // namespace

// Text is taken through the table while every character is one it holds; from the first
// that isn't on, ICU converts the rest (its state at a character boundary behind characters
// that all converted cleanly is the fresh one, so the result is ICU's for the whole text).
struct Utf8Stream::State {
    Converter source, target;
    bool ready = false;
    bool started = false;
    const SjisTable* table = nullptr;
    bool icu = false;  // the table has handed over to ICU for the rest of the text
    std::string lead;  // a lead byte that ended the last piece
    std::string joined;

    void Feed(std::string_view sjis, std::string& out, bool last) {
        if (!lead.empty()) {
            joined = lead;
            joined.append(sjis);
            lead.clear();
            sjis = joined;
        }
        if (!icu && table) {
            const std::size_t at = out.size();
            out.resize(at + sjis.size() * 3);
            char* o = out.data() + at;
            std::size_t i = 0;
            const auto* p = reinterpret_cast<const unsigned char*>(sjis.data());
            while (i < sjis.size()) {
                const unsigned char byte = p[i];
                const SjisTable::Entry* entry = nullptr;
                std::size_t length = 1;
                if (Text::IsLeadByte(byte)) {
                    if (i + 1 == sjis.size() && !last)
                        break;  // its trail comes with the next piece
                    if (i + 1 < sjis.size())
                        entry = &table->pairs[LeadIndex(byte) * 256 + p[i + 1]];
                    length = 2;
                } else {
                    entry = &table->single[byte];
                }
                if (!entry || entry->length == 0) {
                    icu = true;
                    break;
                }
                std::memcpy(o, entry->bytes, 3);
                o += entry->length;
                i += length;
            }
            out.resize(static_cast<std::size_t>(o - out.data()));
            sjis.remove_prefix(i);
            if (!icu) {
                lead.assign(sjis);  // at most the one lead byte
                return;
            }
        }
        if (!ConvertThrough(source.get(), target.get(), sjis, out, !started, last)) ready = false;
        started = !last;
    }
};

Utf8Stream::Utf8Stream() : m_state(std::make_unique<State>()) {
    m_state->ready = OpenPair("windows-31j", "UTF-8", m_state->source, m_state->target);
    const SjisTable& table = Utf8Table();
    if (table.usable) m_state->table = &table;
}

Utf8Stream::~Utf8Stream() = default;

bool Utf8Stream::Ready() const { return m_state->ready; }

void Utf8Stream::Feed(std::string_view sjis, std::string& out, bool last) {
    if (m_state->ready) m_state->Feed(sjis, out, last);
}

std::optional<std::string> ConvertEncoding(std::string_view bytes, const char* from,
                                           const char* to) {
    if (!AsciiSafe(from)) {
        Converter source, target;
        if (!OpenPair(from, to, source, target)) return std::nullopt;
        std::string out;
        if (!ConvertPiece(source.get(), target.get(), bytes, out)) return std::nullopt;
        return out;
    }
    PieceConverter converter(from, to);
    if (!converter.Ready()) return std::nullopt;
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    converter.Feed(bytes, out);
    converter.Finish(out);
    if (!converter.Ready()) return std::nullopt;
    return out;
}

Text Sjis(std::string_view utf8) {
    auto converted = ConvertEncoding(utf8, "UTF-8", "windows-31j");
    return converted ? Text(std::move(*converted)) : Text();
}

std::string ToUtf8(const Text& sjis) {
    auto converted = ConvertEncoding(sjis.Bytes(), "windows-31j", "UTF-8");
    return converted ? std::move(*converted) : std::string();
}

std::string StoredTextToUtf8(std::string_view bytes) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    return ToUtf8(Text(bytes));
}

}  // namespace qubopost::platform
