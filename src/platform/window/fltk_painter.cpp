#include "platform/window/fltk_painter.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include <FL/Fl.H>
#include <FL/fl_draw.H>
#undef None

namespace {

constexpr Fl_Font kNormalFont = FL_FREE_FONT;
constexpr Fl_Font kBoldFont = static_cast<Fl_Font>(FL_FREE_FONT + 1);
constexpr Fl_Labeltype kLiteralLabel = FL_FREE_LABELTYPE;
constexpr Fl_Labeltype kWrappedLabel = static_cast<Fl_Labeltype>(FL_FREE_LABELTYPE + 1);

// FLTK keeps the font names it is given; these live for the process.
const std::string& lf_faceName(bool bold) {
    // The first character is FLTK's attribute mark: ' ' plain, 'B' bold.
    static const std::string normal = std::string(" ") + kFltkFontFace;
    static const std::string boldFace = std::string("B") + kFltkFontFace;
    return bold ? boldFace : normal;
}

// A stored label's text as it is shown: a doubled '&' once.
std::string lf_shownText(const char* stored) {
    std::string out;
    if (stored == nullptr) return out;
    for (const char* p = stored; *p != '\0'; ++p) {
        out.push_back(*p);
        if (*p == '&' && p[1] == '&') ++p;
    }
    return out;
}

void lf_useLabelFont(const Fl_Label* label) {
    fl_font(label->font, label->size);
    fl_color(static_cast<Fl_Color>(label->color));
}

// The top of a line of text of the current font whose block of `lines` lines
// is centred in a box of height h at y; the baseline is that plus the ascent.
int lf_firstBaseline(int y, int h, int lines) {
    const int block = fl_height() * lines;
    return y + (h - block) / 2 + fl_height() - fl_descent();
}

void lf_drawLiteral(const Fl_Label* label, int x, int y, int w, int h, Fl_Align align) {
    const std::string text = lf_shownText(label->value);
    lf_useLabelFont(label);
    const int width = static_cast<int>(fl_width(text.c_str(), static_cast<int>(text.size())));
    int left = x + (w - width) / 2;
    if (align & FL_ALIGN_LEFT) left = x;
    if (align & FL_ALIGN_RIGHT) left = x + w - width;
    fl_draw(text.c_str(), static_cast<int>(text.size()), left, lf_firstBaseline(y, h, 1));
}

void lf_measureLiteral(const Fl_Label* label, int& w, int& h) {
    const std::string text = lf_shownText(label->value);
    fl_font(label->font, label->size);
    w = static_cast<int>(fl_width(text.c_str(), static_cast<int>(text.size())));
    h = fl_height();
}

// Breaks a text into lines no wider than width (pixels, current font): at
// line ends, and at blanks where the next word would cross the width. A word
// wider than the line stands on a line of its own.
std::vector<std::string> lf_wrap(const std::string& text, int width) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string paragraph = text.substr(start, end - start);
        std::string line;
        std::size_t i = 0;
        while (i <= paragraph.size()) {
            const std::size_t blank = std::min(paragraph.find(' ', i), paragraph.size());
            const std::string word = paragraph.substr(i, blank - i);
            const std::string candidate = line.empty() ? word : line + " " + word;
            if (!line.empty() && fl_width(candidate.c_str(), static_cast<int>(candidate.size())) > width) {
                lines.push_back(line);
                line = word;
            } else {
                line = candidate;
            }
            i = blank + 1;
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

void lf_drawWrapped(const Fl_Label* label, int x, int y, int w, int h, Fl_Align) {
    lf_useLabelFont(label);
    const std::vector<std::string> lines = lf_wrap(lf_shownText(label->value), w);
    int baseline = lf_firstBaseline(y, h, static_cast<int>(lines.size()));
    for (const std::string& line : lines) {
        fl_draw(line.c_str(), static_cast<int>(line.size()), x, baseline);
        baseline += fl_height();
    }
}

void lf_measureWrapped(const Fl_Label* label, int& w, int& h) {
    fl_font(label->font, label->size);
    const std::vector<std::string> lines = lf_wrap(lf_shownText(label->value), w > 0 ? w : 1 << 20);
    int widest = 0;
    for (const std::string& line : lines) {
        widest = std::max(widest, static_cast<int>(fl_width(line.c_str(), static_cast<int>(line.size()))));
    }
    w = widest;
    h = fl_height() * static_cast<int>(lines.size());
}

void lf_colour(Rgb c) { fl_color(c.r, c.g, c.b); }

}  // namespace

void gf_fltkRegisterFonts() {
    Fl::set_font(kNormalFont, lf_faceName(false).c_str());
    Fl::set_font(kBoldFont, lf_faceName(true).c_str());
    Fl::set_labeltype(kLiteralLabel, lf_drawLiteral, lf_measureLiteral);
    Fl::set_labeltype(kWrappedLabel, lf_drawWrapped, lf_measureWrapped);
}

int gf_fltkFont(bool bold) { return bold ? kBoldFont : kNormalFont; }
int gf_fltkLiteralLabelType() { return kLiteralLabel; }
int gf_fltkWrappedLabelType() { return kWrappedLabel; }

std::string gf_fltkLiteralLabel(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        out.push_back(c);
        if (c == '&') out.push_back('&');
    }
    return out;
}

int gf_fltkWrappedTextHeight(std::string_view text, int width, int pixels) {
    fl_font(gf_fltkFont(false), pixels);
    return fl_height() * static_cast<int>(lf_wrap(std::string(text), width).size());
}

// --- FltkPainter -------------------------------------------------------------

FltkPainter::FltkPainter(int clientWidth, int clientHeight, int originX, int originY)
    : m_clientWidth(clientWidth),
      m_clientHeight(clientHeight),
      m_originX(originX),
      m_originY(originY),
      m_layoutWidth(std::max(clientWidth, 1)),
      m_layoutHeight(std::max(clientHeight, 1)) {}

FltkPainter::~FltkPainter() {
    // A wide pen is the rest of this paint's only; the next drawing starts
    // with FLTK's default.
    fl_line_style(FL_SOLID, 0);
}

void FltkPainter::setLayout(int layoutWidth, int layoutHeight) {
    m_layoutWidth = std::max(layoutWidth, 1);
    m_layoutHeight = std::max(layoutHeight, 1);
}

void FltkPainter::setLineWidth(int pixels) {
    fl_line_style(FL_SOLID | FL_CAP_ROUND | FL_JOIN_ROUND, std::max(pixels, 0));
}

int FltkPainter::pixelX(int x) const { return m_originX + gf_mulDiv(x, m_clientWidth, m_layoutWidth); }
int FltkPainter::pixelY(int y) const { return m_originY + gf_mulDiv(y, m_clientHeight, m_layoutHeight); }

PixelRect FltkPainter::pixelRect(const LayoutRect& rect) const {
    return PixelRect{pixelX(rect.left), pixelY(rect.top), pixelX(rect.right), pixelY(rect.bottom)};
}

void FltkPainter::fillRect(const LayoutRect& rect, Rgb colour) {
    const PixelRect r = pixelRect(rect);
    if (r.empty()) return;
    lf_colour(colour);
    fl_rectf(r.left, r.top, r.width(), r.height());
}

void FltkPainter::outlineRect(const LayoutRect& rect, Rgb colour) {
    const PixelRect r = pixelRect(rect);
    if (r.empty()) return;
    lf_colour(colour);
    fl_rect(r.left, r.top, r.width(), r.height());
}

void FltkPainter::line(int x1, int y1, int x2, int y2, Rgb colour) {
    lf_colour(colour);
    fl_line(pixelX(x1), pixelY(y1), pixelX(x2), pixelY(y2));
}

int FltkPainter::textPixels() const {
    // The width sets the scale: it is the same in every mode of the window,
    // while the height of the layout changes with it.
    return std::max(gf_mulDiv(kFltkTextPixels96, m_clientWidth, m_layoutWidth), 1);
}

void FltkPainter::text(int x, int y, std::string_view utf8, Rgb colour, bool bold) {
    fl_font(gf_fltkFont(bold), textPixels());
    lf_colour(colour);
    // The layout places a text by the top left of its line; FLTK draws at the
    // baseline.
    fl_draw(utf8.data(), static_cast<int>(utf8.size()), pixelX(x), pixelY(y) + fl_height() - fl_descent());
}

int FltkPainter::textWidth(std::string_view utf8, bool bold) const {
    fl_font(gf_fltkFont(bold), textPixels());
    return static_cast<int>(fl_width(utf8.data(), static_cast<int>(utf8.size())) + 0.5);
}
