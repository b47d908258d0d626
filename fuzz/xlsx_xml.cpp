// The XML tokenizer and the element tree of package parts: every element
// through the typed getters, kept as text, and its texts decoded. The part
// is read whole and again in small pieces, its texts as they arrive: both
// reads must see the same.
#include "SrcXLS/formats/XLSXmlTags.h"
#include "SrcXLS/model/XFonts.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

class Reader : public xls::TXLSExcelXmlReader {
public:
    std::string Seen; // every finished element as text, then the error

protected:
    bool OnTag(int id, xls::TExXMLTag& tag) override {
        using namespace xls;
        int col, row, c2, r2;
        for (const auto& v : tag.Values) {
            if (v.Id < 0) continue;
            tag.GetInt(v.Id, 0);
            tag.GetFloat(v.Id, 0);
            tag.GetBool(v.Id, false);
            tag.GetTextW(v.Id);
        }
        try {
            tag.ReqCellRef(ear, col, row);
        } catch (const XLSError&) {
        }
        try {
            tag.ReqArea(earef, col, row, c2, r2);
        } catch (const XLSError&) {
        }
        DecodeXString(tag.GetTextDecoded());
        tag.GetTextFloat();
        if (id == etfont || id == etrPr) {
            TXFontEx12 font;
            ReadFont(tag, font);
            TXLSExcelXmlWriter w;
            w.WriteFont(font, id == etrPr);
        }
        if (id == etfgColor || id == etcolor) ReadColor(&tag);
        if (Seen.size() < (1u << 20)) Seen += tag.ToText();
        // Every other element is dropped at once, as the readers drop cells.
        return tag.Children.size() % 2 == 0;
    }
};

// A piece size of 0 reads the part whole; texts longer than `buffered`
// bytes are read as they arrive.
std::string Read(std::string_view part, size_t pieceSize, size_t buffered = size_t(2) << 20) {
    Reader reader;
    reader.MaxBufferedToken = buffered;
    try {
        if (pieceSize == 0) {
            reader.ReadPart(part, "fuzz.xml");
        } else {
            size_t at = 0;
            reader.ReadPart(
                [&](char* to, size_t n) {
                    n = std::min(n, part.size() - at);
                    std::copy_n(part.data() + at, n, to);
                    at += n;
                    return n;
                },
                "fuzz.xml", pieceSize);
        }
    } catch (const xls::XLSError& e) {
        reader.Seen += e.what();
    }
    return reader.Seen + "|" + reader.Root().ToText();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view part(reinterpret_cast<const char*>(data), size);
    if (Read(part, 0) != Read(part, 1 + size % 13, 1 + size % 7)) std::abort();
    return 0;
}
