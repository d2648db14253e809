// The reading of a page's HTML with gumbo, an HTML5 parser: the tree the
// browser would build, walked for the text as outerText renders it (block
// boxes and paragraphs break lines, table cells are separated by tabs, white
// space collapses) and for the links document.links holds.
#include "search/html_reading.h"

#include "search/html_charset.h"
#include "search/url_resolve.h"

#include <gumbo.h>

#include <memory>
#include <optional>

namespace vq {

namespace {

constexpr size_t kMaxBody = 16 * 1024 * 1024; // larger pages are the browser's
constexpr int kMaxDepth = 400;                 // deeper trees too

const char* attr(const GumboElement& e, const char* name)
{
    const GumboAttribute* a = gumbo_get_attribute(&e.attributes, name);
    return a ? a->value : nullptr;
}

bool isTag(const GumboElement& e, GumboTag t) { return e.tag == t && e.tag_namespace == GUMBO_NAMESPACE_HTML; }

// The name of an element the parser has no tag for (dialog, portal, custom ones).
std::string unknownName(const GumboElement& e)
{
    GumboStringPiece piece = e.original_tag;
    gumbo_tag_from_original_text(&piece);
    return asciiLowered(std::string_view(piece.data, piece.length));
}

// Elements rendered as blocks by the browser's own style sheet.
bool blockTag(GumboTag t)
{
    switch (t) {
    case GUMBO_TAG_ADDRESS: case GUMBO_TAG_ARTICLE: case GUMBO_TAG_ASIDE: case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_BODY: case GUMBO_TAG_CENTER: case GUMBO_TAG_DD: case GUMBO_TAG_DIR: case GUMBO_TAG_DIV:
    case GUMBO_TAG_DL: case GUMBO_TAG_DT: case GUMBO_TAG_FIELDSET: case GUMBO_TAG_FIGCAPTION:
    case GUMBO_TAG_FIGURE: case GUMBO_TAG_FOOTER: case GUMBO_TAG_FORM: case GUMBO_TAG_H1: case GUMBO_TAG_H2:
    case GUMBO_TAG_H3: case GUMBO_TAG_H4: case GUMBO_TAG_H5: case GUMBO_TAG_H6: case GUMBO_TAG_HEADER:
    case GUMBO_TAG_HGROUP: case GUMBO_TAG_HR: case GUMBO_TAG_HTML: case GUMBO_TAG_LEGEND: case GUMBO_TAG_LI:
    case GUMBO_TAG_LISTING: case GUMBO_TAG_MAIN: case GUMBO_TAG_MENU: case GUMBO_TAG_NAV: case GUMBO_TAG_OL:
    case GUMBO_TAG_P: case GUMBO_TAG_PLAINTEXT: case GUMBO_TAG_PRE: case GUMBO_TAG_SECTION:
    case GUMBO_TAG_TABLE: case GUMBO_TAG_CAPTION: case GUMBO_TAG_UL: case GUMBO_TAG_XMP:
        return true;
    default:
        return false;
    }
}

// Elements the browser never renders (display: none in its style sheet).
bool unrenderedTag(GumboTag t)
{
    switch (t) {
    case GUMBO_TAG_HEAD: case GUMBO_TAG_SCRIPT: case GUMBO_TAG_STYLE: case GUMBO_TAG_TITLE: case GUMBO_TAG_META:
    case GUMBO_TAG_LINK: case GUMBO_TAG_BASE: case GUMBO_TAG_NOSCRIPT: case GUMBO_TAG_NOEMBED:
    case GUMBO_TAG_NOFRAMES: case GUMBO_TAG_PARAM: case GUMBO_TAG_RP: case GUMBO_TAG_AREA: case GUMBO_TAG_DATALIST:
    case GUMBO_TAG_TEMPLATE: case GUMBO_TAG_BASEFONT: case GUMBO_TAG_INPUT: case GUMBO_TAG_IMG:
        return true;
    default:
        return false;
    }
}

// Handlers that run without the user doing anything.
bool runsByItself(std::string_view name)
{
    static const char* const names[] = {"onload", "onerror", "onpageshow", "onreadystatechange", "onfocus",
                                        "onfocusin", "onbegin", "onresize", "onscroll", "ontoggle", "onbeforeprint",
                                        "onhashchange", "onpopstate", "onmessage", "onplay", "oncanplay",
                                        "onloadstart", "onprogress", "onsubmit"};
    if (name.starts_with("onanimation") || name.starts_with("ontransition"))
        return true;
    for (const char* n : names)
        if (name == n)
            return true;
    return false;
}

// A style attribute: hides the element (display: none), or says something
// about rendering the reading does not follow.
enum class Style { Plain, Hidden, Unknown };
Style styleOf(const char* style)
{
    std::string s;
    for (const char* p = style; *p; ++p)
        if (*p != ' ' && *p != '\t' && *p != '\n' && *p != '\r')
            s += *p >= 'A' && *p <= 'Z' ? static_cast<char>(*p | 0x20) : *p;
    if (s.find("display:none") != std::string::npos)
        return Style::Hidden;
    static const char* const unknown[] = {"display",   "visibility", "content",  "white-space", "text-transform",
                                          "position",  "float",      "-webkit-", "writing-mode", "font-size:0",
                                          "direction", "unicode-bidi", "columns", "order", "grid", "flex"};
    for (const char* u : unknown)
        if (s.find(u) != std::string::npos)
            return Style::Unknown;
    return Style::Plain;
}

// The text as outerText renders it: pieces of text and required line breaks.
class TextBuilder {
public:
    void text(std::string_view t, bool preformatted)
    {
        for (char c : t) {
            const bool white = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
            if (preformatted) {
                flushBreaks();
                if (c == '\r')
                    continue;
                out_ += c;
                pendingSpace_ = false;
                lineStart_ = c == '\n';
                continue;
            }
            if (white) {
                pendingSpace_ = !lineStart_ || pendingSpace_;
                continue;
            }
            flushBreaks();
            if (pendingSpace_ && !lineStart_)
                out_ += ' ';
            pendingSpace_ = false;
            lineStart_ = false;
            out_ += c;
        }
    }
    void literal(char c) // a <br>, a cell's tab or a row's line feed
    {
        flushBreaks();
        out_ += c;
        pendingSpace_ = false;
        lineStart_ = c == '\n';
    }
    void requireBreaks(int n)
    {
        pendingSpace_ = false;
        if (!out_.empty())
            breaks_ = std::max(breaks_, n);
    }
    std::string take() { return std::move(out_); }

private:
    void flushBreaks()
    {
        if (breaks_ == 0)
            return;
        out_.append(size_t(breaks_), '\n');
        lineStart_ = true;
        breaks_ = 0;
    }
    std::string out_;
    int breaks_ = 0;
    bool pendingSpace_ = false;
    bool lineStart_ = true;
};

class Walker {
public:
    Walker(const HtmlReadingRules& rules, std::string base) : rules_(rules), base_(std::move(base)) {}

    HtmlRefusal refusal = HtmlRefusal::None;
    std::vector<std::string> links;

    // The whole tree: refusals and links anywhere, text below <body>.
    void walk(const GumboNode* node, int depth, bool rendered, bool pre)
    {
        if (refusal != HtmlRefusal::None)
            return;
        if (depth > kMaxDepth) {
            refusal = HtmlRefusal::Parser;
            return;
        }
        if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE || node->type == GUMBO_NODE_CDATA) {
            if (rendered && inBody_)
                text_.text(node->v.text.text, pre);
            return;
        }
        if (node->type == GUMBO_NODE_TEMPLATE) {
            if (attr(node->v.element, "shadowrootmode") || attr(node->v.element, "shadowroot"))
                refusal = HtmlRefusal::Layout;
            return; // its content is not part of the document
        }
        if (node->type != GUMBO_NODE_ELEMENT)
            return;
        const GumboElement& e = node->v.element;
        if (!element(e))
            return;
        if (e.tag_namespace != GUMBO_NAMESPACE_HTML) {
            // SVG and MathML: their text is rendered but not laid out as HTML's.
            if (rendered && inBody_ && hasText(node))
                refusal = HtmlRefusal::Layout;
            return;
        }
        if (isTag(e, GUMBO_TAG_NOSCRIPT))
            return; // with scripts on, the browser reads it as text it never shows
        bool show = rendered && !unrenderedTag(e.tag) && !attr(e, "hidden");
        if (e.tag == GUMBO_TAG_UNKNOWN && !attr(e, "open") && unknownName(e) == "dialog")
            show = false;
        if (const char* s = attr(e, "style")) {
            const Style st = styleOf(s);
            if (st == Style::Unknown && show) {
                refusal = HtmlRefusal::Layout;
                return;
            }
            if (st == Style::Hidden)
                show = false;
        }
        const bool body = isTag(e, GUMBO_TAG_BODY);
        if (body)
            inBody_ = true;
        const bool block = show && blockTag(e.tag);
        const int breaks = isTag(e, GUMBO_TAG_P) ? 2 : 1;
        if (block)
            text_.requireBreaks(breaks);
        if (show && isTag(e, GUMBO_TAG_BR))
            text_.literal('\n');
        const bool preNow = pre || isTag(e, GUMBO_TAG_PRE) || isTag(e, GUMBO_TAG_LISTING) ||
                            isTag(e, GUMBO_TAG_XMP) || isTag(e, GUMBO_TAG_PLAINTEXT);
        const GumboVector& kids = e.children;
        for (unsigned i = 0; i < kids.length && refusal == HtmlRefusal::None; ++i) {
            const GumboNode* kid = static_cast<const GumboNode*>(kids.data[i]);
            walk(kid, depth + 1, show, preNow);
            if (show && kid->type == GUMBO_NODE_ELEMENT)
                separate(e, kid->v.element, i);
        }
        if (block)
            text_.requireBreaks(breaks);
        if (body)
            inBody_ = false;
    }

    std::string text() { return text_.take(); }

private:
    // What an element says about the page; false: its subtree is passed over.
    bool element(const GumboElement& e)
    {
        for (unsigned i = 0; i < e.attributes.length; ++i) {
            const auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
            if (runsByItself(asciiLowered(a->name))) {
                refusal = HtmlRefusal::Script;
                return false;
            }
        }
        if (e.tag_namespace != GUMBO_NAMESPACE_HTML) {
            if (e.tag == GUMBO_TAG_SCRIPT)
                refusal = HtmlRefusal::Script;
            return e.tag != GUMBO_TAG_SCRIPT;
        }
        switch (e.tag) {
        case GUMBO_TAG_IFRAME: case GUMBO_TAG_FRAME: case GUMBO_TAG_FRAMESET: case GUMBO_TAG_OBJECT:
        case GUMBO_TAG_EMBED:
            refusal = HtmlRefusal::Frames;
            return false;
        case GUMBO_TAG_UNKNOWN:
            if (unknownName(e) == "portal") {
                refusal = HtmlRefusal::Frames;
                return false;
            }
            return true;
        case GUMBO_TAG_SCRIPT:
            if (!attr(e, "src") && scriptRuns(e))
                refusal = HtmlRefusal::Script;
            return false;
        case GUMBO_TAG_META:
            if (const char* h = attr(e, "http-equiv"); h && asciiLowered(h) == "refresh")
                refusal = HtmlRefusal::Refresh;
            return false;
        case GUMBO_TAG_SELECT: case GUMBO_TAG_TEXTAREA: case GUMBO_TAG_DETAILS: case GUMBO_TAG_MARQUEE:
        case GUMBO_TAG_RUBY: case GUMBO_TAG_VIDEO: case GUMBO_TAG_AUDIO: case GUMBO_TAG_CANVAS:
            refusal = HtmlRefusal::Layout;
            return false;
        case GUMBO_TAG_IMG:
            if (rules_.pictures)
                refusal = HtmlRefusal::Pictures;
            return false;
        case GUMBO_TAG_BASE:
            if (const char* h = attr(e, "href"); h && !baseSet_) {
                baseSet_ = true;
                const std::optional<std::string> b = resolveLink(base_, h);
                if (!b || !canonicalAddress(*b))
                    refusal = HtmlRefusal::Link;
                else
                    base_ = *b;
            }
            return false;
        case GUMBO_TAG_A: case GUMBO_TAG_AREA:
            if (const char* h = attr(e, "href")) {
                std::optional<std::string> link = resolveLink(base_, h);
                if (!link) {
                    refusal = HtmlRefusal::Link;
                    return false;
                }
                links.push_back(std::move(*link));
            }
            return true;
        default:
            return true;
        }
    }

    static bool scriptRuns(const GumboElement& e)
    {
        const char* type = attr(e, "type");
        if (!type || !*type)
            return true;
        const std::string t = asciiLowered(type);
        return t.find("javascript") != std::string::npos || t.find("ecmascript") != std::string::npos ||
               t == "module" || t.find("jscript") != std::string::npos || t.find("livescript") != std::string::npos;
    }

    static bool hasText(const GumboNode* node)
    {
        if (node->type == GUMBO_NODE_TEXT)
            return true;
        if (node->type != GUMBO_NODE_ELEMENT)
            return false;
        const GumboVector& kids = node->v.element.children;
        for (unsigned i = 0; i < kids.length; ++i)
            if (hasText(static_cast<const GumboNode*>(kids.data[i])))
                return true;
        return false;
    }

    // Between table cells a tab, between rows a line feed (not after the last).
    void separate(const GumboElement& parent, const GumboElement& kid, unsigned index)
    {
        const bool cell = isTag(kid, GUMBO_TAG_TD) || isTag(kid, GUMBO_TAG_TH);
        const bool row = isTag(kid, GUMBO_TAG_TR);
        if (!cell && !row)
            return;
        if (cell) {
            for (unsigned j = index + 1; j < parent.children.length; ++j) {
                const auto* n = static_cast<const GumboNode*>(parent.children.data[j]);
                if (n->type == GUMBO_NODE_ELEMENT && (isTag(n->v.element, GUMBO_TAG_TD) || isTag(n->v.element, GUMBO_TAG_TH))) {
                    text_.literal('\t');
                    return;
                }
            }
            return;
        }
        text_.literal('\n'); // the row's line feed; a last one is dropped with the breaks around the table
    }

    const HtmlReadingRules& rules_;
    std::string base_;
    bool baseSet_ = false;
    bool inBody_ = false;
    TextBuilder text_;
};

struct GumboDeleter {
    void operator()(GumboOutput* o) const { gumbo_destroy_output(&kGumboDefaultOptions, o); }
};

// outerText drops the breaks at its ends, and a row's last line feed.
std::string trimmedBreaks(std::string t)
{
    size_t b = 0;
    while (b < t.size() && t[b] == '\n')
        ++b;
    size_t e = t.size();
    while (e > b && (t[e - 1] == '\n'))
        --e;
    return t.substr(b, e - b);
}

} // namespace

bool htmlReadingAvailable() { return true; }

HtmlReading readHtml(std::string_view body, std::string_view contentType, std::string_view url,
                     const HtmlReadingRules& rules)
{
    HtmlReading r;
    const std::optional<std::string> location = canonicalAddress(url);
    if (!location) {
        r.refusal = HtmlRefusal::Link;
        return r;
    }
    r.location = utf8ToAnsi(*location);
    if (body.size() > kMaxBody) {
        r.refusal = HtmlRefusal::Parser;
        return r;
    }
    const std::optional<std::string> utf8 = decodedToUtf8(body, pageCharset(contentType, body));
    if (!utf8) {
        r.refusal = HtmlRefusal::Charset;
        return r;
    }
    std::unique_ptr<GumboOutput, GumboDeleter> out(
        gumbo_parse_with_options(&kGumboDefaultOptions, utf8->data(), utf8->size()));
    if (!out || !out->root) {
        r.refusal = HtmlRefusal::Parser;
        return r;
    }
    Walker w(rules, *location);
    w.walk(out->root, 0, true, false);
    r.refusal = w.refusal;
    if (r.refusal != HtmlRefusal::None)
        return r;
    r.text = utf8ToAnsi(trimmedBreaks(w.text()));
    r.links.reserve(w.links.size());
    for (const std::string& l : w.links)
        r.links.push_back(utf8ToAnsi(l));
    return r;
}

} // namespace vq
