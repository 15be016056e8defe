// SPDX-License-Identifier: GPL-3.0-or-later
#include "GeneratedBooks.h"

#include "core/Book.h"
#include "core/Codec.h"
#include "core/DescribedFormat.h"
#include "core/Numbers.h"
#include "core/Record.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdlib.h>
#include <unistd.h>
#include <vector>

namespace dayvell::bench {

const std::string& WorkDir() {
    static const std::string dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "dayvell-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(WorkDir(), ec);
        });
        return pattern + "/";
    }();
    return dir;
}

std::string PageText(std::mt19937& rng) {
    static const char* words[] = {"the", "day",   "was",  "long",   "and",   "we",      "walked",
                                  "to",  "town",  "rain", "later",  "I",     "thought", "of",
                                  "you", "again", "work", "dinner", "quiet", "evening"};
    std::string text;
    while (text.size() < 1500) {
        text += words[rng() % std::size(words)];
        text += (rng() % 12 == 0) ? "\r\n" : " ";
    }
    return text;
}

const std::string& GeneratedBook(int pages) {
    static std::map<int, std::string> made;
    auto it = made.find(pages);
    if (it != made.end())
        return it->second;
    const std::string path = WorkDir() + "b" + std::to_string(pages) + ".dvl";
    std::mt19937 rng(static_cast<unsigned>(pages));
    std::string bytes = FormatRecord({Encode(kCheckPhrase, kKey), Encode(WorkDir(), kKey), Encode("My Dayvell", kKey),
                                      Encode("12/10/2026", kKey), Encode("0000000", kKey)});
    for (int i = 1; i <= pages; ++i) {
        std::string text = PageText(rng);
        if (i % 5000 == 0)
            text += " rarewordxyz";
        AppendRecord(bytes, {Encode(PageNumberText(i), kKey), Encode("Thursday, 12/10/2026", kKey),
                             Encode("1:46:33 PM", kKey), Encode(text, kKey), "_"});
    }
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return made[pages] = path;
}

std::string CopyOfBook(int pages, const std::string& name) {
    const std::string copy = WorkDir() + name;
    std::filesystem::copy_file(GeneratedBook(pages), copy, std::filesystem::copy_options::overwrite_existing);
    return copy;
}

const std::string& PlainTextOf(int pages) {
    static std::map<int, std::string> made;
    auto it = made.find(pages);
    if (it != made.end())
        return it->second;
    const std::string plain = WorkDir() + "plain" + std::to_string(pages) + ".txt";
    Book book(GeneratedBook(pages), kKey);
    std::ofstream out(plain, std::ios::binary);
    book.forEachPage([&](std::int64_t, const PageView& r) {
        const Page p = PageOf(r);
        std::string line = p.number + p.date + p.time + p.text;
        for (char& c : line)
            if (c == '\r' || c == '\n')
                c = ' ';
        out << line << '\n';
        return true;
    });
    return made[pages] = plain;
}

void CopyAndFsync(const std::string& from, const std::string& to) {
    static std::vector<char> buffer(1 << 20);
    const int in = ::open(from.c_str(), O_RDONLY);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0)
        std::abort();
    ssize_t n;
    while ((n = ::read(in, buffer.data(), buffer.size())) > 0)
        if (::write(out, buffer.data(), static_cast<size_t>(n)) != n)
            std::abort();
    ::fsync(out);
    ::close(out);
    ::close(in);
}

std::size_t DecipherAll(const Book& book) {
    std::size_t total = 0;
    book.forEachPage([&](std::int64_t, const PageView& r) {
        total += PageOf(r).text.size();
        return true;
    });
    return total;
}

std::unique_ptr<ProgressTask> NoProgress::start(const std::string&, const std::string&, std::int64_t) {
    struct Task : ProgressTask {
        bool advance(std::int64_t) override { return true; }
    };
    return std::make_unique<Task>();
}

long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::strlen(field)));
    return -1;
}

bool GrepCi(const std::string& word, const std::string& file) {
    const std::string command = "LC_ALL=C grep -ci " + word + " " + file + " > /dev/null";
    return std::system(command.c_str()) != -1;
}

} // namespace dayvell::bench
