#include "exchange/ReportDocument.h"

#include "platform/AtomicFile.h"

namespace exchange {

namespace {

struct HeaderValue {
    const char* element;
    std::string_view text;
};

ReportFrame Fail(const char* message) {
    return ReportFrame{false, message, {}};
}

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
    std::string message = "Помилка структури XML-файлу";
    if (!path.empty()) message += " " + std::string(path);
    if (document.ParseErrorLine() > 0)
        message += " (рядок " + std::to_string(document.ParseErrorLine()) + ")";
    return message + ":\r\n" + document.ParseError();
}

ReportFrame CheckReportFrame(const platform::XmlDocument& document,
                             std::optional<std::string_view> expectedId, std::string_view path) {
    if (!document.ParseError().empty()) return ReportFrame{false, XmlStructureMessage(path, document), {}};
    platform::XmlNode root = document.DocumentElement();
    if (!root || root.Name() != "REPORT") return Fail("Не знайдений вузол \"REPORT\".");
    if (!root.HasChildNodes() || root.ChildCount() != 3)
        return Fail("У вузла \"REPORT\" недопустима кількість дочірніх вузлів.");
    platform::XmlNode header = root.Child(0);
    if (header.Name() != "HEADER") return Fail("Вузол \"REPORT\" не містить дочірнього вузла \"HEADER\".");
    if (!header.HasChildNodes()) return Fail("Вузол \"HEADER\" не містить дочірніх вузлів.");
    if (expectedId) {
        platform::XmlNode id = header.SelectSingleNode("REPORT_ID");
        if (!id || id.Text() != *expectedId) return Fail("Не знайдений ідентифікатор звіту!");
    }
    platform::XmlNode data = root.Child(2);
    if (data.Name() != "DATA") return Fail("Не знайдений вузол \"DATA\".");
    if (!data.HasChildNodes()) return Fail("Вузол \"DATA\" не містить дочірніх елементів.");
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
    if (child.Kind() == platform::XmlNodeKind::Element && child.Name() == "Item") return {};
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
