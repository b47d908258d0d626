// The XML report document: root REPORT with HEADER, FIELDS_NAME and DATA,
// one attribute-only Item per record. Written by every XML export, read back
// by the XML imports after the frame checks below.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/XmlDocument.h"

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
