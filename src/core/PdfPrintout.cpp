// SPDX-License-Identifier: GPL-3.0-or-later
#include "PdfPrintout.h"

#include "Charset.h"
#include "PrintText.h"
#include "RuntimeError.h"
#include "core/Version.h"

#include <cairo-ft.h>
#include <cairo-pdf.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <exception>
#include <langinfo.h>
#include <locale.h>
#include <vector>

namespace dayvell {

namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;
// The size of the print where the paper is wide enough; a narrower sheet gets a smaller one.
constexpr double kPointSize = 10;

// The font every printout is set in, loaded once for the process: finding and opening it costs more than a short
// printout does.
struct PrintFont {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    cairo_font_face_t* cairoFace = nullptr;
    // The glyph of each Windows-1252 character.
    std::array<unsigned long, 256> glyphs{};
    // Per point of font size.
    double advance = 0;
    double ascent = 0;
    double lineHeight = 0;
    std::string problem;
};

// The file of the fixed-pitch font to print with, and its index in the file; an empty name when there is none.
std::pair<std::string, int> FindFontFile() {
    if (!FcInit())
        return {};
    for (const char* family : {"DejaVu Sans Mono", "monospace"}) {
        FcPattern* pattern = FcPatternCreate();
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
        FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        FcPatternDestroy(pattern);
        if (!match)
            continue;
        FcChar8* file = nullptr;
        int index = 0;
        FcBool scalable = FcFalse;
        std::pair<std::string, int> found;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
            FcPatternGetBool(match, FC_SCALABLE, 0, &scalable) == FcResultMatch && scalable) {
            FcPatternGetInteger(match, FC_INDEX, 0, &index);
            found = {reinterpret_cast<const char*>(file), index};
        }
        FcPatternDestroy(match);
        if (!found.first.empty())
            return found;
    }
    return {};
}

PrintFont LoadPrintFont() {
    PrintFont font;
    const auto [file, index] = FindFontFile();
    if (file.empty() || FT_Init_FreeType(&font.library) != 0 ||
        FT_New_Face(font.library, file.c_str(), index, &font.face) != 0 || !FT_IS_SCALABLE(font.face)) {
        font.problem = "No font to print with was found: install the package fonts-dejavu-core";
        return font;
    }
    FT_Face face = font.face;
    const double unitsPerEm = face->units_per_EM;
    const auto glyphOf = [face](char32_t c) { return FT_Get_Char_Index(face, c); };
    const unsigned long fallback = glyphOf(U'\uFFFD') ? glyphOf(U'\uFFFD') : glyphOf(U'?');
    for (int code = 0; code < 256; ++code) {
        const char32_t c = Cp1252Char(static_cast<unsigned char>(code));
        // Control codes, the C1 codes Windows-1252 leaves undefined among them, have no picture of their own.
        const bool control = c < 0x20 || (c >= 0x7F && c < 0xA0);
        const unsigned long glyph = control ? 0 : glyphOf(c);
        font.glyphs[std::size_t(code)] = glyph ? glyph : fallback;
    }
    // Every character takes the widest advance of them all, so that none overlaps the next even in a font that
    // is not of fixed pitch.
    FT_Pos widest = 0;
    for (unsigned long glyph : font.glyphs) {
        if (FT_Load_Glyph(face, FT_UInt(glyph), FT_LOAD_NO_SCALE) == 0)
            widest = std::max(widest, face->glyph->metrics.horiAdvance);
    }
    if (widest <= 0) {
        font.problem = "The font to print with has no usable characters";
        return font;
    }
    font.advance = double(widest) / unitsPerEm;
    font.ascent = double(face->ascender) / unitsPerEm;
    font.lineHeight = double(std::max<int>(face->height, face->ascender - face->descender)) / unitsPerEm;
    font.cairoFace = cairo_ft_font_face_create_for_ft_face(face, 0);
    if (cairo_font_face_status(font.cairoFace) != CAIRO_STATUS_SUCCESS)
        font.problem = "The font to print with cannot be used";
    return font;
}

const PrintFont& TheFont() {
    static const PrintFont font = LoadPrintFont();
    if (!font.problem.empty())
        throw RuntimeError(code::PrinterError, font.problem);
    return font;
}

} // namespace

Paper PaperWithMargins(double widthMm, double heightMm, double leftMm, double topMm, double rightMm, double bottomMm) {
    Paper paper = DefaultPaper();
    if (widthMm > 0 && heightMm > 0) {
        paper.widthMm = widthMm;
        paper.heightMm = heightMm;
    }
    paper.leftMm = std::max(kLeastMarginMm, leftMm);
    paper.topMm = std::max(kLeastMarginMm, topMm);
    paper.rightMm = std::max(kLeastMarginMm, rightMm);
    paper.bottomMm = std::max(kLeastMarginMm, bottomMm);
    return paper;
}

Paper DefaultPaper() {
    Paper paper;
    // The user's setting as the environment gives it, whatever locale the program itself runs in.
    if (const locale_t locale = ::newlocale(LC_PAPER_MASK, "", locale_t(0))) {
        // glibc gives these numbers, in millimetres, in place of a text.
        const auto width =
            static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(::nl_langinfo_l(_NL_PAPER_WIDTH, locale)));
        const auto height =
            static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(::nl_langinfo_l(_NL_PAPER_HEIGHT, locale)));
        ::freelocale(locale);
        if (width >= 50 && height >= 50 && width <= 2000 && height <= 2000) {
            paper.widthMm = width;
            paper.heightMm = height;
        }
    }
    return paper;
}

struct PdfPrintout::Impl {
    PdfSink sink;
    const PrintFont& font;
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    std::exception_ptr failure;
    // Once set, what cairo still writes (the rest of an abandoned document) goes nowhere.
    bool discarding = false;
    bool ended = false;

    double left = 0;
    double top = 0;
    double advance = 0;
    double lineHeight = 0;
    int columns = 0;
    int linesPerSheet = 0;
    // Rows of the sheet being filled, and its characters, drawn in one go when it is full.
    int row = 0;
    std::vector<cairo_glyph_t> glyphs;

    Impl(const Paper& paper, PdfSink s) : sink(std::move(s)), font(TheFont()) {
        const double width = paper.widthMm * kPointsPerMm;
        const double height = paper.heightMm * kPointsPerMm;
        left = paper.leftMm * kPointsPerMm;
        top = paper.topMm * kPointsPerMm;
        const double usableWidth = width - left - paper.rightMm * kPointsPerMm;
        const double usableHeight = height - top - paper.bottomMm * kPointsPerMm;
        if (usableWidth <= 0 || usableHeight <= 0)
            throw RuntimeError(code::PrinterError, "The paper has no room to print on between its margins");
        // A full line of the print width fits, with a little to spare.
        const double size = std::min(kPointSize, usableWidth * 0.98 / (double(kPrintWidth) * font.advance));
        advance = size * font.advance;
        lineHeight = size * font.lineHeight;
        columns = std::max(1, int(std::floor(usableWidth / advance + 1e-9)));
        linesPerSheet = std::max(1, int(std::floor(usableHeight / lineHeight + 1e-9)));
        top += size * font.ascent;
        glyphs.reserve(std::size_t(columns) * std::size_t(linesPerSheet));

        surface = cairo_pdf_surface_create_for_stream(Write, this, width, height);
        cr = cairo_create(surface);
        cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, "dayvell");
        const std::string creator = "Dayvell " + std::string(kVersion);
        cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, creator.c_str());
        cairo_set_font_face(cr, font.cairoFace);
        cairo_set_font_size(cr, size);
        // Advances as the font has them, unrounded: the characters of a line stand at exact multiples of one.
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_set_font_options(cr, options);
        cairo_font_options_destroy(options);
        try {
            check();
        } catch (...) {
            discarding = true;
            cairo_destroy(cr);
            cairo_surface_destroy(surface);
            throw;
        }
    }

    ~Impl() {
        discarding = !ended;
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }

    static cairo_status_t Write(void* closure, const unsigned char* data, unsigned int length) {
        auto* self = static_cast<Impl*>(closure);
        if (self->discarding)
            return CAIRO_STATUS_SUCCESS;
        if (self->failure)
            return CAIRO_STATUS_WRITE_ERROR;
        try {
            self->sink(std::string_view(reinterpret_cast<const char*>(data), length));
        } catch (...) {
            // Nothing may pass through cairo's C frames: the error waits for check().
            self->failure = std::current_exception();
            return CAIRO_STATUS_WRITE_ERROR;
        }
        return CAIRO_STATUS_SUCCESS;
    }

    void check() const {
        if (failure)
            std::rethrow_exception(failure);
        const cairo_status_t status = cairo_status(cr);
        if (status != CAIRO_STATUS_SUCCESS)
            throw RuntimeError(code::PrinterError,
                               std::string("The printout could not be made: ") + cairo_status_to_string(status));
    }

    void drawSheet() {
        if (!glyphs.empty())
            cairo_show_glyphs(cr, glyphs.data(), int(glyphs.size()));
        glyphs.clear();
    }

    void drawRow(std::string_view text) {
        if (row == linesPerSheet) {
            drawSheet();
            cairo_show_page(cr);
            check();
            row = 0;
        }
        const double y = top + row * lineHeight;
        double x = left;
        for (char c : text) {
            glyphs.push_back({font.glyphs[static_cast<unsigned char>(c)], x, y});
            x += advance;
        }
        ++row;
    }

    // One line of text as the rows it takes on paper.
    void drawLine(std::string_view line) {
        const auto width = std::size_t(columns);
        do {
            std::size_t cut = line.size();
            if (cut > width) {
                const std::size_t space = line.rfind(' ', width - 1);
                cut = space != std::string_view::npos && space > 0 ? space + 1 : width;
            }
            drawRow(line.substr(0, cut));
            line.remove_prefix(cut);
        } while (!line.empty());
    }
};

PdfPrintout::PdfPrintout(const Paper& paper, PdfSink sink) : m(std::make_unique<Impl>(paper, std::move(sink))) {}

PdfPrintout::~PdfPrintout() = default;

void PdfPrintout::printLine(const std::string& text) {
    m->check();
    const std::string expanded = ExpandTabs(text);
    const std::string_view all = expanded;
    std::size_t start = 0;
    while (true) {
        std::size_t end = start;
        while (end < all.size() && all[end] != '\r' && all[end] != '\n')
            ++end;
        m->drawLine(all.substr(start, end - start));
        if (end == all.size())
            break;
        start = end + 1;
        if (all[end] == '\r' && start < all.size() && all[start] == '\n')
            ++start;
    }
}

void PdfPrintout::end() {
    m->check();
    m->drawSheet();
    cairo_surface_finish(m->surface);
    m->check();
    if (const cairo_status_t status = cairo_surface_status(m->surface); status != CAIRO_STATUS_SUCCESS)
        throw RuntimeError(code::PrinterError,
                           std::string("The printout could not be made: ") + cairo_status_to_string(status));
    m->ended = true;
}

int PdfPrintout::columns() const {
    return m->columns;
}

int PdfPrintout::linesPerSheet() const {
    return m->linesPerSheet;
}

} // namespace dayvell
