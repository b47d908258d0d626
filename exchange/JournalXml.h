// The electronic journal and the daily Z report as XML documents (root MAIN
// with HEADER and DATA), made from the register's bytes and saved where the
// user chooses. A journal of megabytes becomes tens of megabytes of XML, so
// the text is written as it goes, in exactly the form the XML document
// service saves (UTF-8, the declaration and CR LF first, no indentation).
// Both converters report their own failures and return.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "console/ConsoleState.h"
#include "device/Q710Api.h"
#include "exchange/JobSide.h"

namespace exchange {

// The root's xmlns: a name of our own, no address anyone serves.
inline constexpr const char* MainNamespace = "urn:zrv-q710:journal";
inline constexpr std::size_t ZReportBufferSize = 178;

// XML text written element by element. Names are the program's own; texts
// and attribute values (UTF-8) have the characters XML does not allow written
// as a blank and are escaped as the document service escapes them.
class XmlTextWriter {
public:
    XmlTextWriter(); // the declaration line
    void Reserve(std::size_t bytes);
    void Start(std::string_view name);
    void Attribute(std::string_view name, std::string_view value);
    // An element holding only a text.
    void TextElement(std::string_view name, std::string_view text);
    void End();
    // The whole text, every element closed.
    std::string Finish();

private:
    void CloseStartTag();
    void WriteAttributes();
    std::string out;
    std::vector<std::pair<std::string, std::string>> attributes; // of the start tag being written
    std::size_t attributeCount = 0;
    std::vector<std::string> open;
    bool startTagOpen = false;
};

// The frame of both documents, left open in DATA: MAIN with its xmlns,
// HEADER (DEVELOPMENT, MODEL, VERSION, REPORT_ID, the identification
// elements in order, REPORT_NAME).
void StartMainDocument(XmlTextWriter& w, const char* reportId,
                       const std::vector<std::pair<const char*, std::string>>& ids, const char* reportName);

// The journal document of a stream, with the regional settings.
std::string JournalXmlText(const Q710JournalParams& params, std::span<const uint8_t> stream);

// The Z report document of a GetReport buffer; false (and `text` the frame
// as far as it got) when the buffer is no Z report: not 178 bytes, a body
// length other than 165, a type other than 10, FN or PN without their zero,
// or FN and PN together longer than 38 characters.
bool ZReportXmlText(int reportNo, std::span<const uint8_t> buffer, std::string& text);

// The save step of both: SaveDialog1 with the XML filter and an empty name;
// a confirmed path becomes MakeMetod.FileName and, when not empty, the text
// is written there (a failure raises); Done := 1 either way.
void SaveMainDocument(console::ConsoleState& state, JobSide& side, const std::string& text);

// The document made, then the save step; a document that cannot be made is
// told in an error box and nothing else happens.
void ConvertJournalToXml(console::ConsoleState& state, JobSide& side, const Q710JournalParams& params,
                         std::span<const uint8_t> stream);
void ConvertZReportToXml(console::ConsoleState& state, JobSide& side, int reportNo,
                         std::span<const uint8_t> buffer);

} // namespace exchange
