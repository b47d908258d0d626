#include "SrcXLS/formats/XLSXSheetSettings.h"

#include "SrcXLS/XLSCellRef.h"
#include "SrcXLS/XLSText.h"
#include "SrcXLS/formats/XLSXml.h"
#include "SrcXLS/formats/XLSXmlTags.h"
#include "SrcXLS/model/Sheet.h"

#include <algorithm>
#include <string_view>

namespace xls {

TXLSXSheetSettings ModelSheetSettings(TSheet& sheet) {
    TXLSXSheetSettings s;
    const TPrintSettings& p = sheet.PrintSettings();
    s.Margins = {p.GetMarginLeft(),   p.GetMarginRight(),  p.GetMarginTop(),
                 p.GetMarginBottom(), p.GetHeaderMargin(), p.GetFooterMargin()};
    s.Header = p.GetHeader();
    s.Footer = p.GetFooter();
    const TPane& pane = sheet.Pane();
    // A pane without a split is none.
    if (pane.PaneType != TPaneType::ptNone && (pane.SplitColX > 0 || pane.SplitRowY > 0)) {
        s.PaneType = int(pane.PaneType);
        s.SplitX = std::max(pane.SplitColX, 0);
        s.SplitY = std::max(pane.SplitRowY, 0);
        s.LeftCol = pane.LeftCol;
        s.TopRow = pane.TopRow;
        s.ActivePane = pane.GetActivePane();
    }
    const int zoom = sheet.GetZoom();
    s.Zoom = zoom == 0 ? 100 : zoom;
    s.FitToPage = sheet.GetWorkspaceOptions() & woFitToPage;
    s.FitWidth = p.GetFitWidth();
    s.FitHeight = p.GetFitHeight();
    return s;
}

namespace {

// Where the start tag at `at` ends ('>' or "/>").
size_t StartTagEnd(const std::string& text, size_t at) {
    size_t end = text.find('>', at);
    if (end == std::string::npos) return text.size();
    return end > at && text[end - 1] == '/' ? end - 1 : end;
}

} // namespace

size_t FindElement(const std::string& text, std::string_view name, size_t from) {
    for (size_t at = text.find('<', from); at != std::string::npos; at = text.find('<', at + 1)) {
        if (text.compare(at + 1, name.size(), name) != 0) continue;
        const char next = at + 1 + name.size() < text.size() ? text[at + 1 + name.size()] : '>';
        if (next == ' ' || next == '/' || next == '>' || next == '\t' || next == '\r' || next == '\n')
            return at;
    }
    return std::string::npos;
}

namespace {

// The element's start tag in its kept text.
size_t Start(const std::string& text, std::string_view name) {
    const size_t at = FindElement(text, name);
    return at == std::string::npos ? 0 : at;
}

// Sets an attribute of the start tag at `at`: its value replaced, or the
// attribute added at the tag's end.
void SetAttribute(std::string& text, size_t at, std::string_view name, std::string_view value) {
    const size_t end = StartTagEnd(text, at);
    for (size_t p = at; p < end; ++p) {
        if (!(text[p] == ' ' || text[p] == '\t' || text[p] == '\r' || text[p] == '\n')) continue;
        if (text.compare(p + 1, name.size(), name) != 0 || p + 1 + name.size() >= end ||
            text[p + 1 + name.size()] != '=')
            continue;
        const size_t open = p + 2 + name.size();
        if (open >= end) break;
        const size_t close = text.find(text[open], open + 1);
        if (close == std::string::npos || close >= end) break;
        text.replace(open + 1, close - open - 1, value);
        return;
    }
    text.insert(end, " " + std::string(name) + "=\"" + std::string(value) + "\"");
}

std::string Number(double v) {
    std::string out;
    if (!AppendXMLNumber(out, v)) out = "0";
    return out;
}

// The element's text with its child element `name` holding `content`
// (escaped text or elements); an empty content removes the child, a child
// the element lacks goes first (or before `before`, the first of those
// the element has).
std::string WithChild(std::string text, std::string_view parent, std::string_view name,
                      const std::string& content, std::initializer_list<std::string_view> before = {}) {
    const size_t p = FindElement(text, parent);
    if (p == std::string::npos) return text;
    size_t open = StartTagEnd(text, p);
    if (text.compare(open, 2, "/>") == 0) {
        if (content.empty()) return text;
        text.replace(open, 2, "></" + std::string(parent) + ">");
    }
    open = text.find('>', p) + 1;
    const size_t parentEnd = text.find("</" + std::string(parent), open);
    const size_t limit = parentEnd == std::string::npos ? text.size() : parentEnd;
    const std::string element =
        content.empty() ? std::string()
                        : "<" + std::string(name) + ">" + content + "</" + std::string(name) + ">";
    size_t c = FindElement(text, name, open);
    if (c != std::string::npos && c < limit) {
        size_t e = StartTagEnd(text, c);
        if (text.compare(e, 2, "/>") == 0) {
            e += 2;
        } else {
            const size_t close = text.find("</" + std::string(name), e);
            const size_t gt = close == std::string::npos ? close : text.find('>', close);
            e = gt == std::string::npos ? limit : gt + 1;
        }
        text.replace(c, std::max(e, c) - c, element);
        return text;
    }
    // First, or before the first of `before` there is (else last).
    size_t at = before.size() == 0 ? open : limit;
    for (std::string_view b : before)
        if (size_t f = FindElement(text, b, open); f != std::string::npos && f < at) at = f;
    text.insert(at, element);
    return text;
}

std::string PaneElement(const TXLSXSheetSettings& s) {
    static constexpr const char* Names[] = {"bottomRight", "topRight", "bottomLeft", "topLeft"};
    std::string out = "<pane";
    if (s.SplitX > 0) out += " xSplit=\"" + std::to_string(s.SplitX) + "\"";
    if (s.SplitY > 0) out += " ySplit=\"" + std::to_string(s.SplitY) + "\"";
    out += " topLeftCell=\"" + WideToUtf8(ColRowToRefStr(s.LeftCol, s.TopRow, false, false)) + "\"";
    // Frozen panes have the panes their split makes: the top left one is
    // active only where it is the one.
    int active = s.ActivePane & 3;
    if (s.PaneType == int(TPaneType::ptFrozen) && active == 3)
        active = s.SplitX > 0 ? (s.SplitY > 0 ? 0 : 1) : 2;
    out += " activePane=\"" + std::string(Names[active]) + "\"";
    if (s.PaneType == int(TPaneType::ptFrozen)) out += " state=\"frozen\"";
    out += "/>";
    return out;
}

// The first sheetView of the kept sheetViews with the model's zoom and pane.
std::string SheetViews(std::string text, const TXLSXSheetSettings& now, const TXLSXSheetSettings& was) {
    if (text.empty()) text = "<sheetViews><sheetView workbookViewId=\"0\"/></sheetViews>";
    const size_t view = FindElement(text, "sheetView");
    if (view == std::string::npos) return text;
    if (now.Zoom != was.Zoom) SetAttribute(text, view, "zoomScale", std::to_string(now.Zoom));
    if (now.SamePane(was)) return text;
    // The pane is the view's first child.
    size_t end = StartTagEnd(text, view);
    const bool empty = text.compare(end, 2, "/>") == 0;
    if (empty) {
        text.replace(end, 2, "></sheetView>");
        end = text.find('>', view);
    }
    const size_t inside = end + 1;
    const size_t close = text.find("</sheetView", inside);
    if (size_t pane = FindElement(text, "pane", inside); pane != std::string::npos && pane < close) {
        size_t e = StartTagEnd(text, pane);
        if (text.compare(e, 2, "/>") == 0) {
            e += 2;
        } else {
            const size_t end = text.find("</pane", e);
            const size_t gt = end == std::string::npos ? end : text.find('>', end);
            e = gt == std::string::npos ? text.find('>', e) + 1 : gt + 1;
        }
        text.erase(pane, std::max(e, pane) - pane);
    }
    if (now.PaneType != 0) text.insert(inside, PaneElement(now));
    return text;
}

// Sets the kept element of the id to text, or adds it where the order puts it.
void PutElement(TXLSSavedTags& tags, int id, const std::string& text, std::span<const int> order) {
    for (int i = 0; i < tags.Count(); ++i)
        if (tags.ElementId(i) == id) {
            tags.SetText(i, text);
            return;
        }
    tags.InsertMarker(id, order);
    for (int i = 0; i < tags.Count(); ++i)
        if (tags.ElementId(i) == id) {
            tags.SetText(i, text);
            return;
        }
}

std::string KeptText(const TXLSSavedTags& tags, int id) {
    for (int i = 0; i < tags.Count(); ++i)
        if (tags.ElementId(i) == id) return tags.Text(i);
    return {};
}

} // namespace

void PutSheetSettings(TSheet& sheet, std::span<const int> order) {
    TXLSXSheetData& data = sheet.PackageData();
    TXLSSavedTags& tags = data.SavedTags;
    const TXLSXSheetSettings now = ModelSheetSettings(sheet), &was = data.Settings;

    if (now.Margins != was.Margins) {
        static constexpr const char* Names[] = {"left", "right", "top", "bottom", "header", "footer"};
        std::string text = KeptText(tags, etpageMargins);
        if (text.empty()) {
            // Every margin: the element requires them all.
            text = "<pageMargins";
            for (size_t i = 0; i < 6; ++i)
                text += std::string(" ") + Names[i] + "=\"" + Number(now.Margins[i]) + "\"";
            text += "/>";
        } else {
            for (size_t i = 0; i < 6; ++i)
                if (now.Margins[i] != was.Margins[i])
                    SetAttribute(text, Start(text, "pageMargins"), Names[i], Number(now.Margins[i]));
        }
        PutElement(tags, etpageMargins, text, order);
    }
    if (now.Header != was.Header || now.Footer != was.Footer) {
        std::string text = KeptText(tags, etheaderFooter);
        if (text.empty()) text = "<headerFooter/>";
        // Children in the schema's order: oddHeader, oddFooter, evenHeader, ...
        if (now.Header != was.Header)
            text = WithChild(text, "headerFooter", "oddHeader", PackageText(now.Header));
        if (now.Footer != was.Footer)
            text = WithChild(text, "headerFooter", "oddFooter", PackageText(now.Footer),
                             {"evenHeader", "evenFooter", "firstHeader", "firstFooter"});
        PutElement(tags, etheaderFooter, text, order);
    }
    if (now.Zoom != was.Zoom || !now.SamePane(was))
        PutElement(tags, etsheetViews, SheetViews(KeptText(tags, etsheetViews), now, was), order);
    if (now.FitToPage != was.FitToPage) {
        std::string text = KeptText(tags, etsheetPr);
        if (text.empty()) text = "<sheetPr/>";
        const size_t at = FindElement(text, "pageSetUpPr");
        if (at != std::string::npos) {
            SetAttribute(text, at, "fitToPage", now.FitToPage ? "1" : "0");
        } else {
            // The last child of sheetPr.
            size_t end = StartTagEnd(text, Start(text, "sheetPr"));
            if (text.compare(end, 2, "/>") == 0) text.replace(end, 2, "></sheetPr>");
            text.insert(text.rfind("</sheetPr"),
                        std::string("<pageSetUpPr fitToPage=\"") + (now.FitToPage ? "1" : "0") + "\"/>");
        }
        PutElement(tags, etsheetPr, text, order);
    }
    if (now.FitWidth != was.FitWidth || now.FitHeight != was.FitHeight) {
        std::string text = KeptText(tags, etpageSetup);
        if (text.empty()) text = "<pageSetup/>";
        SetAttribute(text, Start(text, "pageSetup"), "fitToWidth", std::to_string(now.FitWidth));
        SetAttribute(text, Start(text, "pageSetup"), "fitToHeight", std::to_string(now.FitHeight));
        PutElement(tags, etpageSetup, text, order);
    }
    data.Settings = now;
}

} // namespace xls
