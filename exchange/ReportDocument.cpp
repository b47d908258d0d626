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

ReportStream::ReportStream(std::vector<std::string> attributes, std::size_t limit, bool gatherId)
    : attributes(std::move(attributes)), limit(limit), gatherId(gatherId) {}

void ReportStream::StartElement(std::size_t depth, std::string_view name,
                                const platform::XmlStreamAttributes& list) {
    pendingText.clear();
    if (gatherId && depth == 2 && openChild == 0 && !shape.reportId && name == "REPORT_ID") {
        shape.reportId.emplace();
        gathering = true;
    }
    ReportItem* item = Node(depth, platform::XmlNodeKind::Element, name);
    if (item == nullptr) return;
    item->values.resize(attributes.size());
    for (std::size_t i = 0; i < list.Count(); ++i) {
        const std::string attribute = list.Name(i);
        for (std::size_t k = 0; k < attributes.size(); ++k)
            if (attributes[k] == attribute && !item->values[k]) item->values[k] = list.Value(i);
    }
}

void ReportStream::EndElement(std::size_t depth) {
    pendingText.clear();
    if (depth == 2) gathering = false;
}

void ReportStream::Leaf(std::size_t depth, platform::XmlNodeKind kind, std::string_view name) {
    const bool text = kind == platform::XmlNodeKind::Text || kind == platform::XmlNodeKind::CData;
    if (gathering && text) *shape.reportId += pendingText;
    pendingText.clear();
    Node(depth, kind, name);
}

void ReportStream::Text(std::size_t, std::string_view piece) {
    pendingText += piece;
}

ReportItem* ReportStream::Node(std::size_t depth, platform::XmlNodeKind kind, std::string_view name) {
    const bool element = kind == platform::XmlNodeKind::Element;
    if (depth == 0) {
        if (element) shape.rootName = name;
    } else if (depth == 1) {
        const std::size_t index = shape.rootChildren++;
        if (index == 0) shape.firstName = name;
        if (index == 2) shape.thirdName = name;
        openChild = element ? index : kNone;
    } else if (depth == 2 && openChild == 0) {
        shape.firstHasChildren = true;
    } else if (depth == 2 && openChild == 2) {
        shape.thirdHasChildren = true;
        if (items.size() == limit) {
            // Only Items past the limit are counted.
            if (element && name == "Item") ++left;
            return nullptr;
        }
        items.push_back({kind, std::string(name), {}});
        return element ? &items.back() : nullptr;
    }
    return nullptr;
}

std::string ReportStream::Verdict(const platform::XmlStreamResult& result, std::string_view path,
                                  std::optional<std::string_view> expectedId) const {
    if (!result.Ok())
        return result.fileError ? result.reason : XmlStructureMessage(path, result.reason, result.line);
    return CheckReportShape(shape, expectedId);
}

std::string ReportStream::ReadFile(const std::string& path, std::optional<std::string_view> expectedId) {
    return Verdict(platform::StreamXmlFile(path, *this), path, expectedId);
}

std::string ReportStream::ReadText(std::string_view text, std::optional<std::string_view> expectedId) {
    return Verdict(platform::StreamXmlText(text, *this), {}, expectedId);
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
