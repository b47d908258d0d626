// The XML tokenizer and the element tree of package parts: every element
// through the typed getters, kept as text, and its texts decoded.
#include "SrcXLS/formats/XLSXmlTags.h"
#include "SrcXLS/model/XFonts.h"

#include <string>

namespace {

class Reader : public xls::TXLSExcelXmlReader {
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
        (void)tag.ToText();
        // Every other element is dropped at once, as the readers drop cells.
        return tag.Children.size() % 2 == 0;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader reader;
    try {
        reader.ReadPart(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.xml");
    } catch (const xls::XLSError&) {
    }
    return 0;
}
