// SPDX-License-Identifier: GPL-3.0-or-later
#include "PdfReading.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <regex>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace dayvell::test {

namespace {

// Runs a poppler tool with `arguments`, its output into `output`; false (with a test failure) when it cannot.
bool RunTool(std::vector<std::string> arguments, const std::string& output) {
    std::vector<char*> argv;
    for (std::string& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || ::waitpid(child, &status, 0) != child) {
        ADD_FAILURE() << arguments[0] << " could not run (package poppler-utils)";
        return false;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ADD_FAILURE() << arguments[0] << " refused " << arguments.back();
        return false;
    }
    return true;
}

std::string Unescaped(std::string text) {
    static const std::pair<const char*, const char*> entities[] = {{"&lt;", "<"},   {"&gt;", ">"},  {"&quot;", "\""},
                                                                   {"&apos;", "'"}, {"&#39;", "'"}, {"&amp;", "&"}};
    for (const auto& [entity, character] : entities) {
        for (std::size_t at = 0; (at = text.find(entity, at)) != std::string::npos; at += std::strlen(character))
            text.replace(at, std::strlen(entity), character);
    }
    return text;
}

} // namespace

std::string PdfToText(const std::string& pdf, bool layout) {
    TempDir out;
    const std::string text = out.file("text");
    std::vector<std::string> arguments = {"pdftotext", "-enc", "UTF-8"};
    if (layout)
        arguments.push_back("-layout");
    arguments.insert(arguments.end(), {pdf, "-"});
    return RunTool(arguments, text) ? ReadFileBytes(text) : std::string();
}

std::vector<PdfWordBox> PdfWordBoxes(const std::string& pdf) {
    TempDir out;
    const std::string html = out.file("boxes");
    if (!RunTool({"pdftotext", "-bbox", "-enc", "UTF-8", pdf, "-"}, html))
        return {};
    static const std::regex element(
        R"re(<page width="([\d.]+)" height="([\d.]+)">|<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    const std::string all = ReadFileBytes(html);
    std::vector<PdfWordBox> words;
    double width = 0, height = 0;
    int page = 0;
    for (auto it = std::sregex_iterator(all.begin(), all.end(), element); it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        if (m[1].matched) {
            width = std::stod(m[1]);
            height = std::stod(m[2]);
            ++page;
            continue;
        }
        words.push_back(
            {Unescaped(m[7]), std::stod(m[3]), std::stod(m[4]), std::stod(m[5]), std::stod(m[6]), width, height, page});
    }
    return words;
}

int PdfSheets(const std::string& pdf) {
    TempDir out;
    const std::string info = out.file("info");
    if (!RunTool({"pdfinfo", pdf}, info))
        return 0;
    const std::string all = ReadFileBytes(info);
    const std::size_t at = all.find("\nPages:");
    return at == std::string::npos ? 0 : std::atoi(all.c_str() + at + 7);
}

std::string WithoutBlanks(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\f')
            out += c;
    }
    return out;
}

} // namespace dayvell::test
