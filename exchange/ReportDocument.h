// The XML report document: root REPORT with HEADER, FIELDS_NAME and DATA,
// one attribute-only Item per record. Written by every XML export, read back
// by the XML imports after the frame checks below.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/XmlDocument.h"
#include "platform/XmlStream.h"

namespace exchange {

// Texts are UTF-8.
struct ReportIdentity {
    const char* id;
    const char* name;
};

inline constexpr ReportIdentity GoodsGroupsReport{"{XMLREP1}", "Товарні групи"};
inline constexpr ReportIdentity FullGoodsReport{"{XMLREP2}", "Звіт по товарам (повний)"};
inline constexpr ReportIdentity DailyGoodsReport{"{XMLREP3}", "Звіт по товарам (денний)"};
inline constexpr ReportIdentity CriticalRemainsReport{"{XMLREP4}", "Звіт по товарам з критичним залишком"};
inline constexpr ReportIdentity PeriodicGoodsReportId{"{XMLREP5}", "Періодичний звіт по товарам"};
inline constexpr ReportIdentity DailyHoursReport{"{XMLREP6}", "Денний звіт по годинам"};
inline constexpr ReportIdentity PeriodicHoursReport{"{XMLREP7}", "Періодичний звіт по годинам"};

inline constexpr const char* ReportDevelopment = "ТОВ \"ВЕЛОТА\"";
// The periodic goods report names its maker this way.
inline constexpr const char* PeriodicReportDevelopment = "ЗАТ \"ВЕЛОТА\"";
inline constexpr const char* ReportDeclaration = "version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"";

// Builds the frame into a document (its earlier contents are replaced) and
// adds the items.
class ReportDocumentWriter {
public:
    // Captions become FIELD_1, FIELD_2, ... of FIELDS_NAME in this order.
    ReportDocumentWriter(platform::XmlDocument& document, const ReportIdentity& identity,
                         const std::vector<const char*>& captions,
                         std::string_view development = ReportDevelopment);

    // A new Item, appended as the last child of DATA; the caller sets its
    // attributes in column order.
    platform::XmlNode AddItem();
    platform::XmlNode Data() const { return data; }

private:
    platform::XmlDocument& document;
    platform::XmlNode data;
};

// Result of the frame checks of a report file. On failure `message` is what
// the user is told (UTF-8); on success `data` is the DATA element, which has
// at least one child.
struct ReportFrame {
    bool ok = false;
    std::string message;
    platform::XmlNode data;
};

// What the frame checks look at, gathered from a document or as it streams
// past: the root's name (empty: none), its children, the first one's name
// (as XmlNode::Name gives it) and whether it has children, the report id
// (the text of HEADER's first REPORT_ID element; nothing when there is none
// or it was not gathered), the third child's name and whether it has
// children.
struct ReportShape {
    std::string rootName;
    std::size_t rootChildren = 0;
    std::string firstName;
    bool firstHasChildren = false;
    std::optional<std::string> reportId;
    std::string thirdName;
    bool thirdHasChildren = false;
};
// The first frame check a shape fails, in the order below; empty when none.
std::string CheckReportShape(const ReportShape& shape, std::optional<std::string_view> expectedId);

// Loads the file into the document and checks, in this order: well-formed
// (XmlStructureMessage), root REPORT, exactly three children, HEADER first
// and not empty, the report id (only when `expectedId` is given), DATA third
// and not empty. The second child is not examined. A file that cannot be
// read gives the reason, which names it.
ReportFrame OpenReportDocument(platform::XmlDocument& document, const std::string& path,
                               std::optional<std::string_view> expectedId = std::nullopt);
// The same checks on a document already loaded from `path`.
ReportFrame CheckReportFrame(const platform::XmlDocument& document,
                             std::optional<std::string_view> expectedId, std::string_view path = {});

// A document that did not parse, told in a sentence of ours that names the
// file and the line, the parser's own (English) reason after it:
// Помилка структури XML-файлу /a/b.xml (рядок 2):\r\nCouldn't find end of Start Tag Item
std::string XmlStructureMessage(std::string_view path, const platform::XmlDocument& document);
std::string XmlStructureMessage(std::string_view path, std::string_view reason, int line);

// A child of DATA as a streamed read keeps it: its kind and name, and the
// values of the attributes the reader asked for (nothing for one it lacks).
struct ReportItem {
    platform::XmlNodeKind kind = platform::XmlNodeKind::None;
    std::string name;
    std::vector<std::optional<std::string>> values;
};

// A report document read as a stream, whatever its size: the frame's facts
// (the report id only when asked for) and the first `limit` children of DATA
// with the values of `attributes` are kept, the Items past them counted, and
// nothing else. Time and memory grow with the file, not faster.
class ReportStream : public platform::XmlStreamHandler {
public:
    ReportStream(std::vector<std::string> attributes, std::size_t limit, bool gatherId);

    // Reads the document (a file, or a text); the message of its first
    // failure: the file's own, the structure's (XmlStructureMessage), then
    // the frame checks' (CheckReportShape with `expectedId`); empty when it
    // passed them.
    std::string ReadFile(const std::string& path, std::optional<std::string_view> expectedId);
    std::string ReadText(std::string_view text, std::optional<std::string_view> expectedId);

    const std::vector<ReportItem>& Items() const { return items; }
    // The Items of DATA past the limit.
    std::size_t Left() const { return left; }

    void StartElement(std::size_t depth, std::string_view name,
                      const platform::XmlStreamAttributes& attributes) override;
    void EndElement(std::size_t depth) override;
    void Leaf(std::size_t depth, platform::XmlNodeKind kind, std::string_view name) override;
    bool WantsText(std::size_t depth) override { return gathering && depth > 2; }
    void Text(std::size_t depth, std::string_view piece) override;

private:
    // Takes a node in; the item to fill when it is a child of DATA within the limit.
    ReportItem* Node(std::size_t depth, platform::XmlNodeKind kind, std::string_view name);
    std::string Verdict(const platform::XmlStreamResult& result, std::string_view path,
                        std::optional<std::string_view> expectedId) const;

    static constexpr std::size_t kNone = ~std::size_t{0};
    std::vector<std::string> attributes;
    std::size_t limit;
    bool gatherId;
    ReportShape shape;
    std::vector<ReportItem> items;
    std::size_t left = 0;
    std::size_t openChild = kNone; // the child of the root whose children come now
    bool gathering = false;        // in HEADER's first REPORT_ID
    std::string pendingText;       // of the text node going on, until it proves a node
};

// The check each child of DATA gets before it is read: empty when it is an
// Item, else the message.
std::string CheckReportItem(const platform::XmlNode& child);
std::string CheckReportItem(platform::XmlNodeKind kind, std::string_view name);

// The message for an attribute an item lacks: Не знайдений атрибут "Id".
std::string MissingAttributeMessage(std::string_view attribute);

// What the user is told, in a plain message, when an attribute's value does
// not convert to the type the reader needs: the failure's class name, then
// its message.
std::string ConversionFailureMessage(std::string_view failure);
// The message of a text that is not an integer: 'abc' is not a valid integer value
std::string NotAnIntegerMessage(std::string_view text);

} // namespace exchange
