#include "SrcXLS/formats/XLSXRelations.h"

#include "SrcXLS/XLSDefs.h"

#include <algorithm>
#include <charconv>

namespace xls {

namespace {

constexpr std::string_view Prefixes[] = {
    "",
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/",
    "http://schemas.microsoft.com/office/2006/relationships/",
    "http://purl.oclc.org/ooxml/officeDocument/relationships/",
};

constexpr std::string_view KindNames[rkCount] = {"",
                                                 "additionalCharacteristics",
                                                 "bibliography",
                                                 "calcChain",
                                                 "sheetMetadata",
                                                 "connections",
                                                 "xmlMaps",
                                                 "customXml",
                                                 "sharedStrings",
                                                 "revisionHeaders",
                                                 "usernames",
                                                 "styles",
                                                 "theme",
                                                 "thumbnail",
                                                 "volatileDependencies",
                                                 "chartsheet",
                                                 "dialogsheet",
                                                 "externalLink",
                                                 "pivotCacheDefinition",
                                                 "worksheet",
                                                 "vbaProject",
                                                 "attachedToolbars",
                                                 "xlIntlMacrosheet"};

int Weight(uint8_t kind) {
    switch (kind) {
    case rkWorksheet:
        return 1000;
    case rkDialogsheet:
        return 2000;
    case rkExternalLink:
        return 3000;
    case rkTheme:
        return 4000;
    case rkStyles:
        return 5000;
    case rkSharedStrings:
        return 6000;
    case rkCalcChain:
        return 7000;
    case rkVbaProject:
        return 900000;
    case rkAttachedToolbars:
        return 901000;
    default:
        return 0;
    }
}

int NumericId(std::string_view id) {
    if (id.size() <= 3) return 0;
    int n = 0;
    auto [p, ec] = std::from_chars(id.data() + 3, id.data() + id.size(), n);
    return ec == std::errc() ? n : 0;
}

} // namespace

std::string_view RelationPrefixText(uint8_t prefix) {
    return prefix < std::size(Prefixes) ? Prefixes[prefix] : std::string_view();
}

std::string_view RelationKindName(uint8_t kind) {
    return kind < rkCount ? KindNames[kind] : std::string_view();
}

TXMLRelation& TXMLRelations::Add(std::string_view id) {
    if (!unchecked && Find(id)) throw XLSError("Duplicate relation id");
    auto r = std::make_unique<TXMLRelation>();
    r->Id = id;
    r->NumericId = NumericId(id);
    TXMLRelation& added = *r;
    items.push_back(std::move(r));
    if (!unchecked) SortById();
    return added;
}

TXMLRelation* TXMLRelations::Find(std::string_view id, bool required) const {
    if (unchecked) {
        for (const auto& r : items)
            if (r->Id == id) return r.get();
    } else {
        auto it = std::lower_bound(items.begin(), items.end(), id,
                                   [](const auto& r, std::string_view key) { return r->Id < key; });
        if (it != items.end() && (*it)->Id == id) return it->get();
    }
    if (required) throw XLSError("Required relationship missing: " + std::string(id));
    return nullptr;
}

bool TXMLRelations::HasType(std::string_view typeName) const {
    return std::any_of(items.begin(), items.end(), [&](const auto& r) { return r->TypeName == typeName; });
}

void TXMLRelations::SortById() {
    std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a->Id < b->Id; });
}

std::string TXMLRelations::FullType(const TXMLRelation& relation) {
    return std::string(RelationPrefixText(relation.Prefix)) + relation.TypeName;
}

void TXMLRelations::SetType(TXMLRelation& relation, std::string_view fullType) {
    relation.Prefix = rpNone;
    relation.TypeName = fullType;
    size_t slash = fullType.rfind('/');
    if (slash == fullType.npos || slash < 2) return;
    std::string_view prefix = fullType.substr(0, slash + 1);
    for (uint8_t i = 1; i < std::size(Prefixes); ++i)
        if (prefix == Prefixes[i]) {
            relation.Prefix = i;
            relation.TypeName = fullType.substr(slash + 1);
            return;
        }
}

bool TXMLRelationsWorkbook::KeepRelation(std::string_view fullType) const {
    size_t slash = fullType.rfind('/');
    if (slash == fullType.npos) return false;
    std::string_view name = fullType.substr(slash + 1);
    return name != "worksheet" && name != "sharedStrings" && name != "styles" && name != "calcChain";
}

void TXMLRelationsWorkbook::SetWorkbookType(TXMLRelation& relation, std::string_view fullType) {
    SetType(relation, fullType);
    relation.Kind = rkEmpty;
    if (relation.Prefix == rpNone) return; // a type of another namespace: kept as it is
    for (uint8_t k = 1; k < rkCount; ++k)
        if (relation.TypeName == KindNames[k]) relation.Kind = k;
}

TXMLRelationsWorkbook::TRebuilt TXMLRelationsWorkbook::BuildForWrite(int sheetCount) {
    SetUnchecked();
    std::vector<std::pair<TXMLRelation*, std::string>> kept;
    for (auto& r : items) kept.emplace_back(r.get(), r->Id);
    auto add = [&](std::string id, uint8_t kind, std::string target) -> TXMLRelation& {
        TXMLRelation& r = Add(id);
        r.TypeName = KindNames[kind];
        r.Prefix = rpOfficeDocument;
        r.Kind = kind;
        r.Target = std::move(target);
        return r;
    };
    bool hasTheme = false;
    for (auto& r : items) hasTheme = hasTheme || r->Kind == rkTheme;
    if (!hasTheme) add("rId0", rkTheme, "theme/theme1.xml");
    std::vector<TXMLRelation*> sheets;
    for (int i = 1; i <= sheetCount; ++i)
        sheets.push_back(
            &add("rId" + std::to_string(i), rkWorksheet, "worksheets/sheet" + std::to_string(i) + ".xml"));
    add("rId" + std::to_string(sheetCount + 1), rkStyles, "styles.xml");
    add("rId" + std::to_string(sheetCount + 2), rkSharedStrings, "sharedStrings.xml");
    std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
        return int64_t(Weight(a->Kind)) + a->NumericId < int64_t(Weight(b->Kind)) + b->NumericId;
    });
    for (size_t p = 0; p < items.size(); ++p) {
        items[p]->Id = "rId" + std::to_string(p + 1);
        items[p]->NumericId = int(p + 1);
    }
    TRebuilt result;
    for (auto& [r, oldId] : kept) result.NewIds[oldId] = r->Id;
    for (TXMLRelation* s : sheets) result.SheetIds.push_back(s->Id);
    SetChecked();
    SortById();
    return result;
}

std::string ResolvePartName(std::string_view sourcePart, std::string_view target) {
    std::string path;
    if (!target.empty() && target.front() == '/') {
        path = target.substr(1);
    } else {
        size_t slash = sourcePart.rfind('/');
        path = slash == sourcePart.npos ? std::string() : std::string(sourcePart.substr(0, slash + 1));
        path += target;
    }
    // Segments "." and ".." resolved.
    std::vector<std::string> parts;
    size_t from = 0;
    while (from <= path.size()) {
        size_t slash = path.find('/', from);
        if (slash == path.npos) slash = path.size();
        std::string seg = path.substr(from, slash - from);
        if (seg == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!seg.empty() && seg != ".") {
            parts.push_back(seg);
        }
        from = slash + 1;
    }
    std::string out;
    for (const auto& p : parts) out += (out.empty() ? "" : "/") + p;
    return out;
}

std::string RelationshipsPartName(std::string_view part) {
    size_t slash = part.rfind('/');
    std::string dir = slash == part.npos ? std::string() : std::string(part.substr(0, slash + 1));
    std::string name(slash == part.npos ? part : part.substr(slash + 1));
    return dir + "_rels/" + name + ".rels";
}

std::string RelativeTarget(std::string_view sourcePart, std::string_view part) {
    // The folders the two have in common are left out; each other folder of
    // the source is a step up.
    size_t common = 0;
    for (size_t i = 0; i < sourcePart.size() && i < part.size() && sourcePart[i] == part[i]; ++i)
        if (sourcePart[i] == '/') common = i + 1;
    std::string out;
    for (size_t i = common; i < sourcePart.size(); ++i)
        if (sourcePart[i] == '/') out += "../";
    out += part.substr(common);
    return out;
}

void RebaseTargets(TXMLRelations& relations, std::string_view readFrom, std::string_view writtenAs) {
    if (readFrom.empty() || readFrom == writtenAs) return;
    for (int i = 0; i < relations.Count(); ++i) {
        TXMLRelation& r = relations.Item(i);
        if (r.TargetMode == 2) continue;
        const std::string part = ResolvePartName(readFrom, r.Target);
        if (ResolvePartName(writtenAs, r.Target) != part) r.Target = RelativeTarget(writtenAs, part);
    }
}

} // namespace xls
