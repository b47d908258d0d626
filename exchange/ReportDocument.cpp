#include "exchange/ReportDocument.h"

#include "platform/AtomicFile.h"

namespace exchange {

namespace {

struct HeaderValue {
    const char* element;
    std::string_view text;
};

} // namespace

ReportDocumentWriter::ReportDocumentWriter(platform::XmlDocument& document, const ReportIdentity& identity,
                                           const std::vector<const char*>& captions,
                                           std::string_view development)
    : document(document) {
    if (!document.LoadXml("<REPORT/>")) throw platform::XmlError(document.ParseError());
    platform::XmlNode root = document.DocumentElement();
    document.Node().InsertBefore(document.CreateProcessingInstruction("xml", ReportDeclaration), root);

    platform::XmlNode header = root.AppendChild(document.CreateElement("HEADER"));
    platform::XmlNode fields = root.AppendChild(document.CreateElement("FIELDS_NAME"));
    data = root.AppendChild(document.CreateElement("DATA"));

    const HeaderValue values[] = {
        {"DEVELOPMENT", development}, {"MODEL", "ZRV-Q710"},          {"VERSION", "2-01"},
        {"REPORT_ID", identity.id},   {"REPORT_NAME", identity.name},
    };
    for (const HeaderValue& value : values) {
        platform::XmlNode element = document.CreateElement(value.element);
        element.AppendChild(document.CreateTextNode(value.text));
        header.AppendChild(element);
    }
    for (std::size_t i = 0; i < captions.size(); ++i)
        fields.SetAttribute("FIELD_" + std::to_string(i + 1), captions[i]);
}

platform::XmlNode ReportDocumentWriter::AddItem() {
    return data.AppendChild(document.CreateElement("Item"));
}

std::string XmlStructureMessage(std::string_view path, const platform::XmlDocument& document) {
    return XmlStructureMessage(path, document.ParseError(), document.ParseErrorLine());
}

std::string XmlStructureMessage(std::string_view path, std::string_view reason, int line) {
    std::string message = "Помилка структури XML-файлу";
    if (!path.empty()) message += " " + std::string(path);
    if (line > 0) message += " (рядок " + std::to_string(line) + ")";
    return message + ":\r\n" + std::string(reason);
}

std::string CheckReportShape(const ReportShape& shape, std::optional<std::string_view> expectedId) {
    if (shape.rootName != "REPORT") return "Не знайдений вузол \"REPORT\".";
    if (shape.rootChildren != 3) return "У вузла \"REPORT\" недопустима кількість дочірніх вузлів.";
    if (shape.firstName != "HEADER") return "Вузол \"REPORT\" не містить дочірнього вузла \"HEADER\".";
    if (!shape.firstHasChildren) return "Вузол \"HEADER\" не містить дочірніх вузлів.";
    if (expectedId && shape.reportId != *expectedId) return "Не знайдений ідентифікатор звіту!";
    if (shape.thirdName != "DATA") return "Не знайдений вузол \"DATA\".";
    if (!shape.thirdHasChildren) return "Вузол \"DATA\" не містить дочірніх елементів.";
    return {};
}

ReportFrame CheckReportFrame(const platform::XmlDocument& document,
                             std::optional<std::string_view> expectedId, std::string_view path) {
    if (!document.ParseError().empty()) return ReportFrame{false, XmlStructureMessage(path, document), {}};
    ReportShape shape;
    platform::XmlNode root = document.DocumentElement();
    shape.rootName = root.Name();
    shape.rootChildren = root.ChildCount();
    platform::XmlNode header = root.Child(0);
    shape.firstName = header.Name();
    shape.firstHasChildren = header.HasChildNodes();
    if (platform::XmlNode id = header.SelectSingleNode("REPORT_ID")) shape.reportId = id.Text();
    platform::XmlNode data = root.Child(2);
    shape.thirdName = data.Name();
    shape.thirdHasChildren = data.HasChildNodes();
    if (std::string message = CheckReportShape(shape, expectedId); !message.empty())
        return ReportFrame{false, message, {}};
    return ReportFrame{true, {}, data};
}

ReportFrame OpenReportDocument(platform::XmlDocument& document, const std::string& path,
                               std::optional<std::string_view> expectedId) {
    // A file that cannot be read is told as such (the reason names it), not as a fault of its structure.
    std::string bytes;
    try {
        bytes = platform::ReadWholeFile(path);
    } catch (const platform::FileError& error) {
        document.LoadXml("");
        return ReportFrame{false, error.what(), {}};
    }
    document.LoadXml(bytes);
    return CheckReportFrame(document, expectedId, path);
}

std::string CheckReportItem(const platform::XmlNode& child) {
    return CheckReportItem(child.Kind(), child.Name());
}

std::string CheckReportItem(platform::XmlNodeKind kind, std::string_view name) {
    if (kind == platform::XmlNodeKind::Element && name == "Item") return {};
    return "Не знайдений елемент \"Item\".";
}

std::string MissingAttributeMessage(std::string_view attribute) {
    return "Не знайдений атрибут \"" + std::string(attribute) + "\".";
}

std::string ConversionFailureMessage(std::string_view failure) {
    return "EConvertError. Виникла помилка з повідомленням: " + std::string(failure);
}

std::string NotAnIntegerMessage(std::string_view text) {
    return "'" + std::string(text) + "' is not a valid integer value";
}

} // namespace exchange
