// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeyProof.h"

#include "DescribedFormat.h"

#include <algorithm>
#include <string>
#include <vector>

namespace dayvell {

namespace {

// Characters of a field looked at: far more than any rival needs to give itself away, and a huge field is never
// deciphered whole for a check.
constexpr std::size_t kLooked = 1024;

bool IsControl(unsigned char c) {
    return c < 32 || c == 127;
}

enum class Expect { Folder, Text, PageText };

struct Evidence {
    std::string_view field;
    Expect expect;
};

// The key stream the check phrase fixes, or nothing when no key of characters above code 0 deciphers it without
// Decode's fallback.
std::optional<std::string> StreamOf(std::string_view field) {
    if (field.size() != kCheckPhrase.size())
        return std::nullopt;
    std::string stream(field.size(), '\0');
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto t = static_cast<unsigned char>(field[i]);
        const auto p = static_cast<unsigned char>(kCheckPhrase[i]);
        if (t <= p)
            return std::nullopt;
        stream[i] = static_cast<char>(t - p);
    }
    return stream;
}

bool HasPeriod(const std::string& stream, std::size_t length) {
    for (std::size_t i = length; i < stream.size(); ++i) {
        if (stream[i] != stream[i - length])
            return false;
    }
    return true;
}

// Whether the keys made of the first `a` and the first `b` characters of the stream, each repeated, encipher every
// text alike.
bool SameCipher(const std::string& stream, std::size_t a, std::size_t b) {
    for (std::size_t i = 0; i < a * b; ++i) {
        if (stream[i % a] != stream[i % b])
            return false;
    }
    return true;
}

// Whether the field reads as the right key reads it.
bool Plausible(const Evidence& e, std::string_view key) {
    const std::size_t n = std::min(e.field.size(), kLooked);
    unsigned char last = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto t = static_cast<unsigned char>(e.field[i]);
        const auto k = static_cast<unsigned char>(key[i % key.size()]);
        if (t < k)
            return false;
        last = static_cast<unsigned char>(t - k);
        const bool lineBreakOrTab = last == '\r' || last == '\n' || last == '\t';
        if (IsControl(last) && !(e.expect == Expect::PageText && lineBreakOrTab))
            return false;
    }
    return !(e.expect == Expect::Folder && n > 0 && n == e.field.size() && last != '/' && last != '\\');
}

enum class Verdict { Proven, Wrong, Open };

// `ciphers` holds, shortest first, one key length for each distinct cipher that passes the check phrase; `mine` is
// the typed key's. `soonest` says whether the typed key's cipher repeats soonest among those the evidence leaves
// standing (all of them when it leaves none).
Verdict Judge(const std::string& stream, const std::vector<std::size_t>& ciphers, std::size_t mine,
              const std::vector<Evidence>& evidence, bool& soonest) {
    std::vector<std::size_t> standing;
    for (const std::size_t length : ciphers) {
        const std::string_view key(stream.data(), length);
        if (std::all_of(evidence.begin(), evidence.end(), [&](const Evidence& e) { return Plausible(e, key); }))
            standing.push_back(length);
    }
    const bool mineStands = std::find(standing.begin(), standing.end(), mine) != standing.end();
    if (mineStands && standing.size() == 1)
        return Verdict::Proven;
    if (!standing.empty() && !mineStands)
        return Verdict::Wrong;
    soonest = (standing.empty() ? ciphers : standing).front() == mine;
    return Verdict::Open;
}

} // namespace

bool KeyProven(const RecordView& header, std::string_view key, const FirstPageStamps& firstPage) {
    const std::optional<std::string> stream = StreamOf(header[0]);
    if (!stream || key.empty() || key.size() > stream->size())
        return false;
    if (stream->compare(0, key.size(), key) != 0 || !HasPeriod(*stream, key.size()))
        return false;

    // Every key that passes the phrase, one for each distinct cipher.
    std::vector<std::size_t> ciphers;
    std::size_t mine = 0;
    for (std::size_t length = 1; length <= stream->size(); ++length) {
        if (!HasPeriod(*stream, length))
            continue;
        const auto same = std::find_if(ciphers.begin(), ciphers.end(),
                                       [&](std::size_t shorter) { return SameCipher(*stream, shorter, length); });
        const std::size_t cipher = same == ciphers.end() ? length : *same;
        if (same == ciphers.end())
            ciphers.push_back(length);
        if (length == key.size())
            mine = cipher;
    }
    if (ciphers.size() == 1)
        return true;

    std::vector<Evidence> evidence = {
        {header[1], Expect::Folder}, {header[2], Expect::Text}, {header[3], Expect::Text}, {header[4], Expect::Text}};
    bool soonest = false;
    Verdict verdict = Judge(*stream, ciphers, mine, evidence, soonest);
    if (verdict == Verdict::Open && firstPage) {
        if (const std::optional<Record> page = firstPage()) {
            evidence.push_back({(*page)[0], Expect::Text});
            evidence.push_back({(*page)[1], Expect::Text});
            evidence.push_back({(*page)[2], Expect::Text});
            evidence.push_back({(*page)[3], Expect::PageText});
            verdict = Judge(*stream, ciphers, mine, evidence, soonest);
        }
    }
    if (verdict == Verdict::Open)
        return soonest;
    return verdict == Verdict::Proven;
}

} // namespace dayvell
